// The controller page's server: HTTP (or HTTPS) for the page, a WebSocket or HTTPS requests for
// the controller, all through Boost.Beast and OpenSSL, on one thread. Here: the listeners, TLS
// and the run. What happens to a phone's message: ControllerSession::OnRead (WebSocket) and
// HttpSession::Input (HTTPS requests) in web_session.h, then Controller::Forward.
#include "tools/send/web/web_server.h"

#include <boost/asio/ssl.hpp>

#include <csignal>
#include <cstdio>

#include "tools/send/web/pairing_token.h"
#include "tools/send/web/web_server_parts.h"

namespace joywire {

namespace web {

std::string PeerOf(const tcp::socket& socket) {
  beast::error_code error;
  const tcp::endpoint peer = socket.remote_endpoint(error);
  if (error) {
    return "?";
  }
  return peer.address().to_string() + ":" + std::to_string(peer.port());
}

namespace {

// The page's own origin as the browser sees it: the scheme and the Host it asked for.
bool FromOwnOrigin(const Request& request, bool tls) {
  const auto origin = request.find(http::field::origin);
  if (origin == request.end()) {
    return true;  // not a browser; the token alone decides
  }
  const std::string own = (tls ? "https://" : "http://") + std::string(request[http::field::host]);
  return origin->value() == own;
}

}  // namespace

const char* RefusalOf(const Request& request, const Server& server, bool tls) {
  if (!TokenMatches(QueryValue(request.target(), "token"), server.settings.token)) {
    return "wrong or missing token";
  }
  if (!FromOwnOrigin(request, tls)) {
    return "foreign origin";
  }
  return nullptr;
}

namespace {

void Accept(Server& server, tcp::acceptor& acceptor, Service service, bool tls) {
  acceptor.async_accept(
      [&server, &acceptor, service, tls](beast::error_code error, tcp::socket socket) {
        if (error) {
          if (error != asio::error::operation_aborted) {
            Accept(server, acceptor, service, tls);
          }
          return;
        }
        if (server.openConnections >= kMaxConnections) {
          server.events.Refused(PeerOf(socket), "too many open connections");
          beast::error_code ignored;
          socket.close(ignored);
        } else if (tls) {
          StartTlsSession(server, service, std::move(socket));
        } else {
          StartPlainSession(server, service, std::move(socket));
        }
        Accept(server, acceptor, service, tls);
      });
}

void Tick(Server& server) {
  server.tick.expires_after(kTickInterval);
  server.tick.async_wait([&server](beast::error_code error) {
    if (!error) {
      server.events.Tick();
      Tick(server);
    }
  });
}

bool Listen(Server& server, std::uint16_t port, Service service, bool tls, char* error,
            std::size_t errorCapacity) {
  beast::error_code failure;
  asio::ip::address_v4 address = asio::ip::address_v4::any();
  if (server.settings.address != nullptr) {
    address = asio::ip::make_address_v4(server.settings.address, failure);
  }
  const tcp::endpoint endpoint(address, port);
  auto acceptor = std::make_unique<tcp::acceptor>(server.io);
  if (!failure) {
    acceptor->open(endpoint.protocol(), failure);
  }
#ifndef _WIN32
  // A restart may bind at once; on Windows this option would let two servers share the port.
  if (!failure) {
    acceptor->set_option(tcp::acceptor::reuse_address(true), failure);
  }
#endif
  if (!failure) {
    acceptor->bind(endpoint, failure);
  }
  if (!failure) {
    acceptor->listen(asio::socket_base::max_listen_connections, failure);
  }
  if (failure) {
    std::snprintf(error, errorCapacity, "cannot serve the page on %s:%u: %s",
                  address.to_string().c_str(), static_cast<unsigned>(port),
                  failure.message().c_str());
    return false;
  }
  Accept(server, *acceptor, service, tls);
  server.acceptors.push_back(std::move(acceptor));
  return true;
}

bool PrepareTls(Server& server, char* error, std::size_t errorCapacity) {
  server.tls.emplace(ssl::context::tls_server);
  ssl::context& context = *server.tls;
  beast::error_code failure;
  context.set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 |
                          ssl::context::no_sslv3 | ssl::context::no_tlsv1 |
                          ssl::context::no_tlsv1_1 | ssl::context::single_dh_use,
                      failure);
  const TlsIdentity& identity = *server.settings.tls;
  if (!failure) {
    context.use_certificate_chain(
        asio::buffer(identity.certificateChain.data(), identity.certificateChain.size()), failure);
  }
  if (!failure) {
    context.use_private_key(asio::buffer(identity.privateKey.data(), identity.privateKey.size()),
                            ssl::context::pem, failure);
  }
  if (failure) {
    std::snprintf(error, errorCapacity, "cannot set up TLS: %s", failure.message().c_str());
    return false;
  }
  return true;
}

}  // namespace

}  // namespace web

bool ServeController(const WebServerSettings& settings, WebEvents& events, char* error,
                     std::size_t errorCapacity) {
  web::Server server(settings, events);
  const bool tls = settings.tls != nullptr;
  if ((tls && !web::PrepareTls(server, error, errorCapacity)) ||
      !web::Listen(server, settings.port, web::Service::kController, tls, error, errorCapacity) ||
      (tls && !web::Listen(server, settings.trustPort, web::Service::kTrust, false, error,
                           errorCapacity))) {
    return false;
  }
  server.signals.add(SIGINT);
  server.signals.add(SIGTERM);
  server.signals.async_wait([&server](web::beast::error_code, int) {
    for (auto& acceptor : server.acceptors) {
      web::beast::error_code ignored;
      acceptor->close(ignored);
    }
    server.io.stop();
  });
  events.Listening();
  web::Tick(server);
  server.io.run();
  return true;
}

}  // namespace joywire
