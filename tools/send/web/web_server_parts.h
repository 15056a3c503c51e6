#pragma once

// The web server's pieces shared by its translation units: the server's state, the limits, the
// controller that steers at the moment, and how a session starts. The sessions themselves, for
// plain and for TLS connections, are compiled side by side (web_session_plain.cpp and
// web_session_tls.cpp).
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/ssl/ssl_stream.hpp>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/send/web/web_server.h"

namespace joywire::web {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace ssl = asio::ssl;
using tcp = asio::ip::tcp;
using PlainStream = beast::tcp_stream;
using TlsStream = beast::ssl_stream<beast::tcp_stream>;
using Request = http::request<http::string_body>;

// Limits a hostile client on the network cannot get past.
inline constexpr auto kRequestTime = std::chrono::seconds(5);  // a whole request, or a handshake
inline constexpr std::size_t kHeaderLimit = 4096;
inline constexpr std::size_t kBodyLimit = 64;
inline constexpr std::size_t kMessageLimit = 64;  // a controller message is 20 bytes
inline constexpr std::size_t kMaxConnections = 16;
inline constexpr auto kIdleControllerTime = std::chrono::seconds(20);  // pinged, then dropped
// A controller repeats its state at least every 100 ms: this much silence means it is gone.
inline constexpr auto kSilence = std::chrono::milliseconds(500);
inline constexpr auto kTickInterval = std::chrono::milliseconds(250);
inline constexpr unsigned short kTakenOver = 4000;

inline constexpr char kContentSecurityPolicy[] =
    "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; "
    "connect-src 'self'; img-src data:; base-uri 'none'; form-action 'none'; "
    "frame-ancestors 'none'";

// What a listener offers: the controller (page, WebSocket, requests), or in the HTTPS mode's
// plain-HTTP port only the authority's certificate and how to trust it.
enum class Service { kController, kTrust };

class Controller;

struct Server {
  Server(const WebServerSettings& settings, WebEvents& events)
      : settings(settings), events(events), signals(io), tick(io) {}

  const WebServerSettings& settings;
  WebEvents& events;
  asio::io_context io;
  std::optional<ssl::context> tls;
  std::vector<std::unique_ptr<tcp::acceptor>> acceptors;
  asio::signal_set signals;
  asio::steady_timer tick;
  std::size_t openConnections = 0;
  std::weak_ptr<Controller> controller;
  std::shared_ptr<Controller> requests;  // the controller that sends by HTTPS requests
};

// One open connection, counted for the cap while it lives.
class ConnectionSlot {
 public:
  explicit ConnectionSlot(Server& server) : server_(server) { ++server_.openConnections; }
  ~ConnectionSlot() { --server_.openConnections; }
  ConnectionSlot(const ConnectionSlot&) = delete;
  ConnectionSlot& operator=(const ConnectionSlot&) = delete;

 private:
  Server& server_;
};

// Whoever steers at the moment: one at a time; the newest takes over.
class Controller : public std::enable_shared_from_this<Controller> {
 public:
  explicit Controller(Server& server) : server_(server), silence_(server.io) {}
  virtual ~Controller() = default;

  // Another controller took over.
  virtual void TakenOver() { silence_.cancel(); }

  void TakeControl() {
    const std::shared_ptr<Controller> previous = server_.controller.lock();
    if (previous.get() == this) {
      return;
    }
    if (previous) {
      previous->TakenOver();
    }
    server_.controller = shared_from_this();
  }

  // A checked message: forwarded at once as one datagram; 500 ms of silence after it brings
  // the neutral position.
  void Forward(const float values[5]) {
    if (!IsController()) {
      return;
    }
    server_.events.Forward(values);
    quiet_ = false;
    silence_.expires_after(kSilence);
    silence_.async_wait([self = shared_from_this()](beast::error_code error) {
      if (!error && !self->quiet_ && self->IsController()) {
        self->quiet_ = true;
        self->server_.events.Neutral();
      }
    });
  }

 protected:
  bool IsController() const { return server_.controller.lock().get() == this; }

  // Gone: the neutral position, unless it was the last thing sent.
  void Released() {
    silence_.cancel();
    if (IsController()) {
      server_.controller.reset();
      if (!quiet_) {
        quiet_ = true;
        server_.events.Neutral();
      }
    }
  }

  Server& server_;

 private:
  asio::steady_timer silence_;
  bool quiet_ = true;  // the last thing sent was neutral, or nothing was sent yet
};

// The controller that sends by HTTPS requests where a WebSocket cannot connect (iOS with a
// certificate it does not trust fully): no connection to close, only silence.
class RequestController : public Controller {
 public:
  using Controller::Controller;
};

std::string PeerOf(const tcp::socket& socket);

// Why a request may not steer (a wrong or missing token, a foreign origin), or null when it may.
const char* RefusalOf(const Request& request, const Server& server, bool tls);

// A connection's HTTP session, plain or over TLS, from its first byte.
void StartPlainSession(Server& server, Service service, tcp::socket&& socket);
void StartTlsSession(Server& server, Service service, tcp::socket&& socket);

// The controller's WebSocket, from the upgrade request an HTTP session read.
void StartControllerSession(Server& server, PlainStream&& stream, std::string peer,
                            const Request& upgrade);
void StartControllerSession(Server& server, TlsStream&& stream, std::string peer,
                            const Request& upgrade);

}  // namespace joywire::web
