#pragma once

// The HTTPS mode's TLS: 1.2 at least, forward secrecy and authenticated encryption only, and
// the certificate the context hands to every connection, renewed for an address that came up
// after the start.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "phone/server/net.h"
#include "phone/server/server_settings.h"

namespace joywire::web {

class TlsContext {
 public:
  // False, with the reason in `error`, when OpenSSL refuses the settings or the identity.
  bool Prepare(const WebServerSettings& settings, char* error, std::size_t errorCapacity);
  ssl::context& Context() { return *context_; }

  // A connection on an address the certificate does not name (a network that came up after
  // the start) gets, with every connection after it, one that does, where the authority may
  // vouch for that address.
  void NameLocalAddress(const tcp::socket& socket);

 private:
  bool Use(const TlsIdentity& identity, beast::error_code& failure);

  const WebServerSettings* settings_ = nullptr;
  std::optional<ssl::context> context_;
  TlsIdentity identity_;                 // what the context hands out now
  std::vector<std::string> unnameable_;  // addresses no certificate of ours may name
};

}  // namespace joywire::web
