#include "phone/server/tls_context.h"

#include <boost/asio/ssl/error.hpp>

#include <algorithm>
#include <cstdio>

namespace joywire::web {

bool TlsContext::Prepare(const WebServerSettings& settings, char* error,
                         std::size_t errorCapacity) {
  settings_ = &settings;
  context_.emplace(ssl::context::tls_server);
  ssl::context& context = *context_;
  beast::error_code failure;
  context.set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 |
                          ssl::context::no_sslv3 | ssl::context::no_tlsv1 |
                          ssl::context::no_tlsv1_1 | ssl::context::single_dh_use,
                      failure);
  // TLS 1.2 with forward secrecy and authenticated encryption only (1.3 has nothing else).
  if (!failure &&
      (SSL_CTX_set_min_proto_version(context.native_handle(), TLS1_2_VERSION) != 1 ||
       SSL_CTX_set_cipher_list(context.native_handle(), "ECDHE+AESGCM:ECDHE+CHACHA20") != 1)) {
    failure = beast::error_code(static_cast<int>(ERR_get_error()), asio::error::get_ssl_category());
  }
  identity_ = *settings.tls;
  if (failure || !Use(identity_, failure)) {
    std::snprintf(error, errorCapacity, "cannot set up TLS: %s", failure.message().c_str());
    return false;
  }
  return true;
}

// The certificate and key the context hands to every TLS connection from now on.
bool TlsContext::Use(const TlsIdentity& identity, beast::error_code& failure) {
  // The chain is added to what the context holds: the authority once, however many renamings.
  SSL_CTX_clear_extra_chain_certs(context_->native_handle());
  context_->use_certificate_chain(
      asio::buffer(identity.certificateChain.data(), identity.certificateChain.size()), failure);
  if (!failure) {
    context_->use_private_key(asio::buffer(identity.privateKey.data(), identity.privateKey.size()),
                              ssl::context::pem, failure);
  }
  return !failure;
}

void TlsContext::NameLocalAddress(const tcp::socket& socket) {
  beast::error_code unknown;
  const std::string address = socket.local_endpoint(unknown).address().to_string();
  const auto known = [&address](const std::vector<std::string>& list) {
    return std::find(list.begin(), list.end(), address) != list.end();
  };
  if (unknown || !settings_->nameAddress || known(identity_.addresses) || known(unnameable_)) {
    return;
  }
  TlsIdentity renewed;
  beast::error_code failure;
  if (settings_->nameAddress(address, renewed) && Use(renewed, failure)) {
    identity_ = renewed;
  } else {
    unnameable_.push_back(address);
  }
}

}  // namespace joywire::web
