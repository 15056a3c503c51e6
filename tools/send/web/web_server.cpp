// The controller page's server: HTTP for the page, a WebSocket for the controller, both through
// Boost.Beast, on one thread. What happens to a phone's message: ControllerSession::OnRead.
#include "tools/send/web/web_server.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "tools/send/web/controller_message.h"
#include "tools/send/web/pairing_token.h"

namespace joywire {

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;

// Limits a hostile client on the network cannot get past.
constexpr auto kRequestTime = std::chrono::seconds(5);  // a whole request, or a handshake
constexpr std::size_t kHeaderLimit = 4096;
constexpr std::size_t kBodyLimit = 64;
constexpr std::size_t kMessageLimit = 64;  // a controller message is 20 bytes
constexpr std::size_t kMaxConnections = 16;
constexpr auto kIdleControllerTime = std::chrono::seconds(20);  // pinged, then dropped
// A controller repeats its state at least every 100 ms: this much silence means it is gone.
constexpr auto kSilence = std::chrono::milliseconds(500);
constexpr auto kTickInterval = std::chrono::milliseconds(250);
constexpr unsigned short kTakenOver = 4000;

constexpr char kContentSecurityPolicy[] =
    "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; "
    "connect-src 'self'; img-src data:; base-uri 'none'; form-action 'none'; "
    "frame-ancestors 'none'";

class ControllerSession;

websocket::close_reason CloseReason(unsigned short code, const char* why) {
  websocket::close_reason reason;
  reason.code = code;
  reason.reason = why;
  return reason;
}

struct Server {
  Server(const WebServerSettings& settings, WebEvents& events)
      : settings(settings), events(events), acceptor(io), signals(io), tick(io) {}

  const WebServerSettings& settings;
  WebEvents& events;
  asio::io_context io;
  tcp::acceptor acceptor;
  asio::signal_set signals;
  asio::steady_timer tick;
  std::size_t openConnections = 0;
  std::weak_ptr<ControllerSession> controller;
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

std::string PeerOf(const tcp::socket& socket) {
  beast::error_code error;
  const tcp::endpoint peer = socket.remote_endpoint(error);
  if (error) {
    return "?";
  }
  return peer.address().to_string() + ":" + std::to_string(peer.port());
}

// The page's own origin as the browser sees it: the scheme and the Host it asked for.
bool FromOwnOrigin(const http::request<http::string_body>& request) {
  const auto origin = request.find(http::field::origin);
  if (origin == request.end()) {
    return true;  // not a browser; the token alone decides
  }
  const std::string own = "http://" + std::string(request[http::field::host]);
  return origin->value() == own;
}

class ControllerSession : public std::enable_shared_from_this<ControllerSession> {
 public:
  ControllerSession(Server& server, beast::tcp_stream&& stream, std::string peer)
      : server_(server),
        slot_(server),
        socket_(std::move(stream)),
        silence_(server.io),
        peer_(std::move(peer)) {}

  void Accept(const http::request<http::string_body>& request) {
    beast::get_lowest_layer(socket_).expires_never();
    beast::get_lowest_layer(socket_).socket().set_option(tcp::no_delay(true));
    websocket::stream_base::timeout timeouts{};
    timeouts.handshake_timeout = kRequestTime;
    timeouts.idle_timeout = kIdleControllerTime;
    timeouts.keep_alive_pings = true;
    socket_.set_option(timeouts);
    socket_.read_message_max(kMessageLimit);
    socket_.async_accept(
        request, [self = shared_from_this()](beast::error_code error) { self->OnAccept(error); });
  }

  // Another controller took over: this one is told why and closed.
  void TakenOver() {
    silence_.cancel();
    takenOver_ = true;
    socket_.async_close(CloseReason(kTakenOver, "taken over by another controller"),
                        [self = shared_from_this()](beast::error_code) {});
  }

 private:
  bool IsController() const { return server_.controller.lock().get() == this; }

  void OnAccept(beast::error_code error) {
    if (error) {
      server_.events.Refused(peer_, "WebSocket handshake failed: " + error.message());
      return;
    }
    if (const auto previous = server_.controller.lock()) {
      previous->TakenOver();
    }
    server_.controller = weak_from_this();
    server_.events.Connected(peer_);
    Read();
  }

  void Read() {
    socket_.async_read(buffer_, [self = shared_from_this()](beast::error_code error, std::size_t) {
      self->OnRead(error);
    });
  }

  // A phone's message: checked, then forwarded at once as one datagram.
  void OnRead(beast::error_code error) {
    if (error) {
      if (takenOver_) {
        Ended("taken over by another controller");
      } else if (error == websocket::error::closed) {
        Ended("closed by the page");
      } else {
        Ended("connection lost: " + error.message());
      }
      return;
    }
    float values[5];
    const auto data = buffer_.cdata();
    const MessageVerdict verdict = CheckControllerMessage(
        static_cast<const unsigned char*>(data.data()), data.size(), socket_.got_binary(), values);
    buffer_.consume(buffer_.size());
    if (verdict != MessageVerdict::kForward) {
      const CloseFor close = CloseForVerdict(verdict);
      closeReason_ = close.reason;
      socket_.async_close(CloseReason(close.code, close.reason),
                          [self = shared_from_this()](beast::error_code) {});
      Read();  // until the close completes
      return;
    }
    if (IsController()) {
      server_.events.Forward(values);
      quiet_ = false;
      silence_.expires_after(kSilence);
      silence_.async_wait(
          [self = shared_from_this()](beast::error_code waited) { self->OnSilence(waited); });
    }
    Read();
  }

  void OnSilence(beast::error_code error) {
    if (error || quiet_ || !IsController()) {
      return;
    }
    quiet_ = true;
    server_.events.Neutral();
  }

  void Ended(const std::string& why) {
    silence_.cancel();
    if (IsController()) {
      server_.controller.reset();
      if (!quiet_) {
        quiet_ = true;
        server_.events.Neutral();
      }
    }
    server_.events.Disconnected(peer_, closeReason_.empty() ? why : "closed: " + closeReason_);
  }

  Server& server_;
  ConnectionSlot slot_;
  websocket::stream<beast::tcp_stream> socket_;
  beast::flat_buffer buffer_;
  asio::steady_timer silence_;
  std::string peer_;
  std::string closeReason_;
  bool quiet_ = true;  // the last thing sent was neutral, or nothing was sent yet
  bool takenOver_ = false;
};

class HttpSession : public std::enable_shared_from_this<HttpSession> {
 public:
  HttpSession(Server& server, tcp::socket&& socket)
      : server_(server),
        slot_(server),
        stream_(std::move(socket)),
        peer_(PeerOf(stream_.socket())) {}

  void ReadRequest() {
    parser_.emplace();
    parser_->header_limit(kHeaderLimit);
    parser_->body_limit(kBodyLimit);
    stream_.expires_after(kRequestTime);
    http::async_read(stream_, buffer_, *parser_,
                     [self = shared_from_this()](beast::error_code error, std::size_t) {
                       self->OnRequest(error);
                     });
  }

 private:
  void OnRequest(beast::error_code error) {
    if (error) {
      if (error != http::error::end_of_stream && error != beast::error::timeout) {
        server_.events.Refused(peer_, "bad request: " + error.message());
      }
      Close();
      return;
    }
    const http::request<http::string_body>& request = parser_->get();
    if (websocket::is_upgrade(request)) {
      Upgrade(request);
      return;
    }
    const std::string_view path =
        std::string_view(request.target()).substr(0, std::string_view(request.target()).find('?'));
    if (request.method() != http::verb::get && request.method() != http::verb::head) {
      Respond(http::status::method_not_allowed, "GET only\n", "text/plain");
    } else if (path == "/" || path == "/index.html") {
      Respond(http::status::ok, server_.settings.page, "text/html; charset=utf-8");
    } else {
      Respond(http::status::not_found, "not found\n", "text/plain");
    }
  }

  void Upgrade(const http::request<http::string_body>& request) {
    const std::string_view target = request.target();
    const char* refusal = nullptr;
    if (target.substr(0, target.find('?')) != "/ws") {
      refusal = "no WebSocket at this path";
    } else if (!TokenMatches(QueryValue(target, "token"), server_.settings.token)) {
      refusal = "wrong or missing token";
    } else if (!FromOwnOrigin(request)) {
      refusal = "foreign origin";
    }
    if (refusal != nullptr) {
      server_.events.Refused(peer_, std::string("WebSocket refused (403): ") + refusal);
      keepAlive_ = false;
      Respond(http::status::forbidden, "forbidden\n", "text/plain");
      return;
    }
    std::make_shared<ControllerSession>(server_, std::move(stream_), peer_)->Accept(request);
  }

  void Respond(http::status status, std::string_view body, const char* type) {
    response_ = {};
    response_.result(status);
    response_.version(parser_->get().version());
    response_.set(http::field::server, "joywire-send");
    response_.set(http::field::content_type, type);
    response_.set(http::field::cache_control, "no-store");
    response_.set("X-Content-Type-Options", "nosniff");
    response_.set("Referrer-Policy", "no-referrer");
    response_.set("Content-Security-Policy", kContentSecurityPolicy);
    response_.body().assign(body.data(), body.size());
    keepAlive_ = keepAlive_ && parser_->get().keep_alive();
    response_.keep_alive(keepAlive_);
    response_.prepare_payload();
    if (parser_->get().method() == http::verb::head) {
      response_.body().clear();  // the length stays that of the page
    }
    http::async_write(stream_, response_,
                      [self = shared_from_this()](beast::error_code error, std::size_t) {
                        if (error || !self->keepAlive_) {
                          self->Close();
                        } else {
                          self->ReadRequest();
                        }
                      });
  }

  void Close() {
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
  }

  Server& server_;
  ConnectionSlot slot_;
  beast::tcp_stream stream_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  http::response<http::string_body> response_;
  std::string peer_;
  bool keepAlive_ = true;
};

void Accept(Server& server) {
  server.acceptor.async_accept([&server](beast::error_code error, tcp::socket socket) {
    if (error) {
      if (error != asio::error::operation_aborted) {
        Accept(server);
      }
      return;
    }
    if (server.openConnections >= kMaxConnections) {
      server.events.Refused(PeerOf(socket), "too many open connections");
      beast::error_code ignored;
      socket.close(ignored);
    } else {
      std::make_shared<HttpSession>(server, std::move(socket))->ReadRequest();
    }
    Accept(server);
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

bool Listen(Server& server, char* error, std::size_t errorCapacity) {
  beast::error_code failure;
  asio::ip::address_v4 address = asio::ip::address_v4::any();
  if (server.settings.address != nullptr) {
    address = asio::ip::make_address_v4(server.settings.address, failure);
  }
  const tcp::endpoint endpoint(address, server.settings.port);
  if (!failure) {
    server.acceptor.open(endpoint.protocol(), failure);
  }
#ifndef _WIN32
  // A restart may bind at once; on Windows this option would let two servers share the port.
  if (!failure) {
    server.acceptor.set_option(tcp::acceptor::reuse_address(true), failure);
  }
#endif
  if (!failure) {
    server.acceptor.bind(endpoint, failure);
  }
  if (!failure) {
    server.acceptor.listen(asio::socket_base::max_listen_connections, failure);
  }
  if (failure) {
    std::snprintf(error, errorCapacity, "cannot serve the page on %s:%u: %s",
                  address.to_string().c_str(), static_cast<unsigned>(server.settings.port),
                  failure.message().c_str());
    return false;
  }
  return true;
}

}  // namespace

bool ServeController(const WebServerSettings& settings, WebEvents& events, char* error,
                     std::size_t errorCapacity) {
  Server server(settings, events);
  if (!Listen(server, error, errorCapacity)) {
    return false;
  }
  server.signals.add(SIGINT);
  server.signals.add(SIGTERM);
  server.signals.async_wait([&server](beast::error_code, int) {
    beast::error_code ignored;
    server.acceptor.close(ignored);
    server.io.stop();
  });
  events.Listening();
  Accept(server);
  Tick(server);
  server.io.run();
  return true;
}

}  // namespace joywire
