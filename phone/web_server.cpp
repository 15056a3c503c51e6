// The controller page's server: HTTP (or HTTPS) for the page, a WebSocket or HTTPS requests for
// the controller, all through Boost.Beast and OpenSSL, on one thread. Here: the listeners, TLS
// and the run. Where a request goes: route.cpp. What happens to a phone's message:
// ControllerSession::OnRead (WebSocket) and HttpSession::Input (HTTPS requests), then
// Controller::Forward.
#include "phone/web_server.h"

#include <boost/asio/ssl.hpp>

#include <algorithm>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <mutex>

#include "phone/pairing_token.h"
#include "phone/web_server_parts.h"
#include "platform/terminal.h"

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

std::shared_ptr<RequestController> RequestControllerOf(Server& server, std::string_view identity) {
  auto& requests = server.requests;
  for (const auto& controller : requests) {
    if (controller->identity == identity) {
      return controller;
    }
  }
  // Those that steer no player any more are forgotten before there are more than the players.
  if (requests.size() >= 2 * kMaxPlayers) {
    std::erase_if(requests, [](const auto& controller) { return controller->Player() == 0; });
  }
  return requests.emplace_back(std::make_shared<RequestController>(server, identity));
}

std::string TakenOverReason(const Server& server, int player, std::string_view by) {
  if (server.steering.Players() == 1) {
    return "taken over by another controller";
  }
  return "player " + std::to_string(player) + " taken over by " + std::string(by);
}

std::string AllInUseReason(const Server& server) {
  return "all " + std::to_string(server.steering.Players()) + " players are in use";
}

std::string_view AddressOfPeer(std::string_view peer) {
  return peer.substr(0, peer.rfind(':'));
}

void Server::RememberPaired(const asio::ip::address& address) {
  constexpr std::size_t kRemembered = 64;
  std::erase(paired, address);
  if (paired.size() >= kRemembered) {
    paired.erase(paired.begin());
  }
  paired.push_back(address);
}

bool Server::WasPaired(const asio::ip::address& address) const {
  return std::find(paired.begin(), paired.end(), address) != paired.end();
}

ConnectionSlot::ConnectionSlot(Server& server, Service service, const tcp::socket& socket,
                               bool webSocket, std::function<void()> close)
    : server_(server),
      connections_(server.connections[static_cast<int>(service)]),
      showedToken_(webSocket),
      webSocket_(webSocket),
      close_(std::move(close)) {
  beast::error_code error;
  peer_ = socket.remote_endpoint(error).address();
  entry_ = connections_.insert(connections_.end(), this);
}

void ConnectionSlot::ShowedToken() {
  showedToken_ = true;
  server_.RememberPaired(peer_);
}

ConnectionSlot::~ConnectionSlot() {
  connections_.erase(entry_);
}

bool ConnectionSlot::MakeRoom(Server& server, Service service, const asio::ip::address& peer) {
  OpenConnection open[kMaxConnections];
  ConnectionSlot* slots[kMaxConnections];
  std::size_t count = 0;
  for (ConnectionSlot* slot : server.connections[static_cast<int>(service)]) {
    if (!slot->closed_ && count < kMaxConnections) {  // one closed to make room ends in a moment
      slots[count] = slot;
      open[count++] = OpenConnection{slot->peer_, slot->showedToken_, server.WasPaired(slot->peer_),
                                     slot->webSocket_, slot->idle_};
    }
  }
  const std::ptrdiff_t close = ConnectionToClose(open, count, peer, server.WasPaired(peer));
  if (close < 0) {
    return close == kRoomEnough;
  }
  ConnectionSlot* closing = slots[close];
  closing->closed_ = true;
  closing->close_();
  server.events.Refused(closing->peer_.to_string(),
                        closing->showedToken_
                            ? "closed, to make room: its address held too many connections"
                            : "closed, to make room: it had not shown the token");
  return true;
}

namespace {

void NameLocalAddress(Server& server, const tcp::socket& socket);

void Accept(Server& server, tcp::acceptor& acceptor, Service service, bool tls) {
  acceptor.async_accept(
      [&server, &acceptor, service, tls](beast::error_code error, tcp::socket socket) {
        if (error) {
          if (error != asio::error::operation_aborted) {
            Accept(server, acceptor, service, tls);
          }
          return;
        }
        beast::error_code unknown;
        if (!ConnectionSlot::MakeRoom(server, service, socket.remote_endpoint(unknown).address())) {
          server.events.Refused(PeerOf(socket), "too many open connections");
          beast::error_code ignored;
          socket.close(ignored);
        } else if (tls) {
          NameLocalAddress(server, socket);
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

// The certificate and key the context hands to every TLS connection from now on.
bool UseIdentity(Server& server, const TlsIdentity& identity, beast::error_code& failure) {
  // The chain is added to what the context holds: the authority once, however many renamings.
  SSL_CTX_clear_extra_chain_certs(server.tls->native_handle());
  server.tls->use_certificate_chain(
      asio::buffer(identity.certificateChain.data(), identity.certificateChain.size()), failure);
  if (!failure) {
    server.tls->use_private_key(
        asio::buffer(identity.privateKey.data(), identity.privateKey.size()), ssl::context::pem,
        failure);
  }
  return !failure;
}

bool PrepareTls(Server& server, char* error, std::size_t errorCapacity) {
  server.tls.emplace(ssl::context::tls_server);
  ssl::context& context = *server.tls;
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
  server.identity = *server.settings.tls;
  if (failure || !UseIdentity(server, server.identity, failure)) {
    std::snprintf(error, errorCapacity, "cannot set up TLS: %s", failure.message().c_str());
    return false;
  }
  return true;
}

// A connection on an address the certificate does not name (a network that came up after the
// start) gets, with every connection after it, one that does, where the authority may vouch
// for that address.
void NameLocalAddress(Server& server, const tcp::socket& socket) {
  beast::error_code unknown;
  const std::string address = socket.local_endpoint(unknown).address().to_string();
  const auto known = [&address](const std::vector<std::string>& list) {
    return std::find(list.begin(), list.end(), address) != list.end();
  };
  if (unknown || !server.settings.nameAddress || known(server.identity.addresses) ||
      known(server.unnameable)) {
    return;
  }
  TlsIdentity renewed;
  beast::error_code failure;
  if (server.settings.nameAddress(address, renewed) && UseIdentity(server, renewed, failure)) {
    server.identity = renewed;
  } else {
    server.unnameable.push_back(address);
  }
}

// Every way a person or the system ends the program, as a signal: each ends it as Ctrl-C
// does, after the neutral position. (A closed output is no reason to end: SIGPIPE is ignored.)
#ifdef _WIN32
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGBREAK};
#else
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
#endif

// The server that runs, for the console's own end (Windows), which comes on a thread of its own.
std::mutex g_servingMutex;
std::condition_variable g_stopped;
Server* g_serving = nullptr;
bool g_stopDone = false;

void ServingNow(Server* server) {
  const std::lock_guard lock(g_servingMutex);
  g_serving = server;
  g_stopDone = false;
}

// Ctrl-Z and the other signals that stop a job: the neutral position first, then stopped; once
// continued, the controller's next message steers again.
void StopJobWhenAsked(Server& server) {
  server.jobStops.async_wait([&server](beast::error_code error, int) {
    if (error) {
      return;
    }
    server.steering.LetGo();
    server.events.Suspended();
    StopUntilContinued();
    StopJobWhenAsked(server);
  });
}

void Stop(Server& server, beast::error_code error) {
  if (error == asio::error::operation_aborted || server.stopping) {
    return;
  }
  server.stopping = true;
  server.jobStops.cancel();
  for (auto& acceptor : server.acceptors) {
    beast::error_code ignored;
    acceptor->close(ignored);
  }
  server.events.Stopped();
  server.io.stop();
  const std::lock_guard lock(g_servingMutex);
  g_stopDone = true;
  g_stopped.notify_all();
}

// The console window closed, or the user logs off, or the machine shuts down: stopped as by a
// signal, and the process is held until the neutral position went out (the system ends it
// when this returns, or after a few seconds at most).
void StopAtConsoleEnd() {
  std::unique_lock lock(g_servingMutex);
  if (g_serving == nullptr) {
    return;
  }
  Server& server = *g_serving;
  asio::post(server.io, [&server] { Stop(server, {}); });
  g_stopped.wait_for(lock, std::chrono::seconds(3), [] { return g_stopDone; });
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
  for (const int signal : web::kStopSignals) {
    server.signals.add(signal);
  }
  server.signals.async_wait(
      [&server](web::beast::error_code error, int) { web::Stop(server, error); });
  for (int i = 0; i < kJobStopSignalCount; ++i) {
    server.jobStops.add(kJobStopSignals[i]);
  }
  web::StopJobWhenAsked(server);
  web::ServingNow(&server);
  OnConsoleEnd(web::StopAtConsoleEnd);
  events.Listening();
  web::Tick(server);
  server.io.run();
  web::ServingNow(nullptr);
  return true;
}

}  // namespace joywire
