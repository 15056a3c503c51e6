#pragma once

// A connection's HTTP session for one kind of stream, compiled on its own for each
// (http_session.cpp, http_session_tls.cpp) as the WebSocket's are.
#include <boost/asio/ssl/error.hpp>
#include <boost/asio/ssl/stream_base.hpp>
#include <boost/beast/http.hpp>

#include <memory>
#include <optional>
#include <type_traits>

#include "phone/server/http_session.h"
#include "phone/server/websocket_session.h"

namespace joywire::web {

namespace http = beast::http;

namespace http_sessions {

inline constexpr char kContentSecurityPolicy[] =
    "default-src 'none'; script-src 'self'; style-src 'self'; "
    "connect-src 'self'; img-src 'self' data:; manifest-src 'self'; base-uri 'none'; "
    "form-action 'none'; frame-ancestors 'none'";

template <typename Stream>
constexpr bool kTls = std::is_same_v<Stream, TlsStream>;

template <typename Stream>
class HttpSession : public std::enable_shared_from_this<HttpSession<Stream>> {
 public:
  HttpSession(SharedState& state, Service service, tcp::socket&& socket)
      : state_(state),
        service_(service),
        slot_(state.connections, service, socket, false, [this] { CloseNow(); }),
        peer_(PeerOf(socket)),
        local_(LocalOf(socket)),
        stream_(MakeStream(state, std::move(socket))) {}

  void Start() {
    if constexpr (kTls<Stream>) {
      beast::get_lowest_layer(stream_).expires_after(kRequestTime);
      stream_.async_handshake(
          ssl::stream_base::server, [self = this->shared_from_this()](beast::error_code error) {
            if (error) {
              self->state_.events.Refused(self->peer_, "TLS handshake failed: " + error.message());
              return;
            }
            self->ReadRequest();
          });
    } else {
      ReadRequest();
    }
  }

 private:
  static Stream MakeStream(SharedState& state, tcp::socket&& socket) {
    if constexpr (kTls<Stream>) {
      return Stream(std::move(socket), state.tls->Context());
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
        state_.events.Refused(peer_, "bad request: " + error.message());
      }
      Close();
      return;
    }
    const Request& request = parser_->get();
    const WebServerSettings& settings = state_.settings;
    const Route route =
        RouteOf(request, service_,
                ServerNames{local_, kTls<Stream>, settings.networkName, settings.token}, settings);
    if (!route.refusal.empty()) {
      state_.events.Refused(peer_, route.refusal);
    }
    if (route.showedToken) {
      slot_.ShowedToken();
    }
    keepAlive_ = keepAlive_ && !route.close;
    switch (route.kind) {
      case Route::kUpgrade:
        handedOn_ = true;
        StartWebSocketSession(state_, std::move(stream_), std::move(peer_), request);
        return;
      case Route::kInput: {
        const InputAnswer answer = state_.Input(request, peer_);
        player_ = answer.player;
        Respond(answer.status, answer.body, "text/plain");
        return;
      }
      case Route::kPage:
        state_.events.PageServed();
        break;
      case Route::kAnswer:
        break;
    }
    Respond(route.status, route.body, route.type);
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
                    std::to_string(player_) + " of " + std::to_string(state_.steering.Players()));
      if (const std::string trouble = state_.events.Trouble(player_); !trouble.empty()) {
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

  SharedState& state_;
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

// The TLS sessions' start, compiled apart from the plain ones'.
void StartTls(SharedState& state, Service service, tcp::socket&& socket);

}  // namespace http_sessions

}  // namespace joywire::web
