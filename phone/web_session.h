#pragma once

// The web server's HTTP sessions, for either kind of connection: HttpSession reads requests and
// answers them, takes HTTPS requests from a controller (HttpSession::Input), or hands a
// WebSocket upgrade on to the controller's session.
#include <boost/asio/ssl.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/beast/websocket/rfc6455.hpp>

#include <type_traits>

#include "phone/controller_message.h"
#include "phone/web_server_parts.h"

namespace joywire::web {

namespace websocket = beast::websocket;

template <typename Stream>
constexpr bool kTls = std::is_same_v<Stream, TlsStream>;

template <typename Stream>
class HttpSession : public std::enable_shared_from_this<HttpSession<Stream>> {
 public:
  HttpSession(Server& server, Service service, tcp::socket&& socket)
      : server_(server),
        service_(service),
        slot_(server, service, socket, false, [this] { CloseNow(); }),
        peer_(PeerOf(socket)),
        local_(LocalOf(socket)),
        stream_(MakeStream(server, std::move(socket))) {}

  void Start() {
    if constexpr (kTls<Stream>) {
      beast::get_lowest_layer(stream_).expires_after(kRequestTime);
      stream_.async_handshake(
          ssl::stream_base::server, [self = this->shared_from_this()](beast::error_code error) {
            if (error) {
              self->server_.events.Refused(self->peer_, "TLS handshake failed: " + error.message());
              return;
            }
            self->ReadRequest();
          });
    } else {
      ReadRequest();
    }
  }

 private:
  static Stream MakeStream(Server& server, tcp::socket&& socket) {
    if constexpr (kTls<Stream>) {
      return Stream(std::move(socket), *server.tls);
    } else {
      return Stream(std::move(socket));
    }
  }

  static tcp::endpoint LocalOf(const tcp::socket& socket) {
    beast::error_code error;
    return socket.local_endpoint(error);
  }

  void ReadRequest() {
    parser_.emplace();
    parser_->header_limit(kHeaderLimit);
    parser_->body_limit(kBodyLimit);
    // Time for a first request; a kept-alive connection that idles longer gives way.
    beast::get_lowest_layer(stream_).expires_after(answered_ ? kKeepAliveTime : kRequestTime);
    slot_.Idle(true);
    http::async_read(stream_, buffer_, *parser_,
                     [self = this->shared_from_this()](beast::error_code error, std::size_t) {
                       self->OnRequest(error);
                     });
  }

  void OnRequest(beast::error_code error) {
    slot_.Idle(false);
    if (error) {
      if (error != http::error::end_of_stream && error != beast::error::timeout &&
          error != ssl::error::stream_truncated && error != asio::error::operation_aborted) {
        server_.events.Refused(peer_, "bad request: " + error.message());
      }
      Close();
      return;
    }
    const Request& request = parser_->get();
    const Route route = RouteOf(
        request, service_,
        ServerNames{local_, kTls<Stream>, server_.settings.networkName, server_.settings.token},
        server_.settings);
    if (!route.refusal.empty()) {
      server_.events.Refused(peer_, route.refusal);
    }
    if (route.showedToken) {
      slot_.ShowedToken();
    }
    keepAlive_ = keepAlive_ && !route.close;
    switch (route.kind) {
      case Route::kUpgrade:
        handedOn_ = true;
        StartControllerSession(server_, std::move(stream_), std::move(peer_), request);
        return;
      case Route::kInput:
        Input(request);
        return;
      case Route::kPage:
        server_.events.PageServed();
        break;
      case Route::kAnswer:
        break;
    }
    Respond(route.status, route.body, route.type);
  }

  // A message sent as a request, its token shown: the same checks as on the WebSocket, then the
  // same way on.
  void Input(const Request& request) {
    ControllerMessage message;
    const std::string& body = request.body();
    const MessageVerdict verdict = CheckControllerMessage(
        reinterpret_cast<const unsigned char*>(body.data()), body.size(), true, message);
    const JoinRequest join = JoinRequestOf(request.target());
    const std::shared_ptr<RequestController> controller =
        RequestControllerOf(server_, join.identity);
    if (verdict != MessageVerdict::kForward) {
      controller->Released();  // as a refused WebSocket message: let go at once
      server_.events.Refused(
          peer_, std::string("request refused (400): ") + CloseForVerdict(verdict).reason);
      Respond(http::status::bad_request, "bad message\n", "text/plain");
      return;
    }
    if (server_.steering.SteeredOnAnotherLink(*controller, join.identity)) {
      // The same page on its WebSocket now: a request still on its way is older than that.
      Respond(http::status::no_content, "", "text/plain");
      return;
    }
    int player = controller->Player();
    if (player == 0) {
      // Taken over by another phone: it asks for its player again, explicitly.
      if (!controller->takenOverBy.empty() && join.takeOver == 0) {
        Respond(http::status::conflict,
                TakenOverReason(server_, join.wanted, AddressOfPeer(controller->takenOverBy)),
                "text/plain");
        return;
      }
      controller->takenOverBy.clear();
      player = controller->Join(join, peer_);
      if (player == 0) {
        server_.events.Refused(peer_, AllInUseReason(server_));
        Respond(http::status::conflict, AllInUseReason(server_), "text/plain");
        return;
      }
      server_.events.Connected(player, peer_ + " (HTTPS requests)");
    }
    controller->Forward(message);
    player_ = player;
    Respond(http::status::no_content, "", "text/plain");
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
    if (kTls<Stream>) {
      response_.set("Strict-Transport-Security", "max-age=0");  // keep the plain port usable
    }
    if (player_ != 0) {  // a controller's request: the player it steers
      response_.set("X-Joywire-Player",
                    std::to_string(player_) + " of " + std::to_string(server_.steering.Players()));
      if (const std::string trouble = server_.events.Trouble(player_); !trouble.empty()) {
        response_.set("X-Joywire-Trouble", trouble);
      }
      player_ = 0;
    }
    response_.body().assign(body.data(), body.size());
    keepAlive_ = keepAlive_ && parser_->get().keep_alive();
    response_.keep_alive(keepAlive_);
    response_.prepare_payload();
    if (parser_->get().method() == http::verb::head) {
      response_.body().clear();  // the length stays that of the page
    }
    http::async_write(stream_, response_,
                      [self = this->shared_from_this()](beast::error_code error, std::size_t) {
                        self->answered_ = true;
                        if (error || !self->keepAlive_) {
                          self->Close();
                        } else {
                          self->ReadRequest();
                        }
                      });
  }

  // Made to give way to a newer connection: ends at once, whatever it was doing.
  void CloseNow() {
    if (!handedOn_) {
      beast::get_lowest_layer(stream_).close();
    }
  }

  void Close() {
    beast::error_code ignored;
    beast::get_lowest_layer(stream_).socket().shutdown(tcp::socket::shutdown_send, ignored);
  }

  Server& server_;
  Service service_;
  ConnectionSlot slot_;
  std::string peer_;
  tcp::endpoint local_;  // the address and port the connection came in on
  Stream stream_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  http::response<http::string_body> response_;
  int player_ = 0;  // the player the request being answered steers, or 0
  bool keepAlive_ = true;
  bool answered_ = false;  // a request was answered: the next one must come soon
  bool handedOn_ = false;  // the stream went to the controller's WebSocket
};

}  // namespace joywire::web
