#pragma once

// The web server's HTTP sessions, for either kind of connection: HttpSession reads requests and
// answers them, takes HTTPS requests from a controller (HttpSession::Input), or hands a
// WebSocket upgrade on to the controller's session.
#include <boost/asio/ssl.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/beast/websocket/rfc6455.hpp>

#include <type_traits>

#include "tools/send/web/controller_message.h"
#include "tools/send/web/web_server_parts.h"

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
    http::async_read(stream_, buffer_, *parser_,
                     [self = this->shared_from_this()](beast::error_code error, std::size_t) {
                       self->OnRequest(error);
                     });
  }

  void OnRequest(beast::error_code error) {
    if (error) {
      if (error != http::error::end_of_stream && error != beast::error::timeout &&
          error != ssl::error::stream_truncated && error != asio::error::operation_aborted) {
        server_.events.Refused(peer_, "bad request: " + error.message());
      }
      Close();
      return;
    }
    const Request& request = parser_->get();
    if (request.count(http::field::host) > 1) {  // which one would it have meant?
      server_.events.Refused(peer_, "bad request (400): more than one Host");
      keepAlive_ = false;
      Respond(http::status::bad_request, "one Host only\n", "text/plain");
      return;
    }
    const std::string_view target = request.target();
    const std::string_view path = target.substr(0, target.find('?'));
    const bool get = request.method() == http::verb::get || request.method() == http::verb::head;
    if (service_ == Service::kTrust) {
      if (get && path == "/") {
        Respond(http::status::ok, server_.settings.trustPage, "text/html; charset=utf-8");
      } else if (get && path == "/ca.crt") {
        Respond(http::status::ok, server_.settings.authorityCertificate,
                "application/x-x509-ca-cert");
      } else {
        Respond(http::status::not_found, "not found\n", "text/plain");
      }
    } else if (websocket::is_upgrade(request)) {
      Upgrade(request, path);
    } else if (path == "/input" && request.method() == http::verb::post) {
      Input(request);
    } else if (path == "/pairing" && get) {
      Pairing(request);
    } else if (!get) {
      Respond(http::status::method_not_allowed, "GET only\n", "text/plain");
    } else if (path == "/" || path == "/index.html") {
      server_.events.PageServed();
      Respond(http::status::ok, server_.settings.page, "text/html; charset=utf-8");
    } else if (const PageFile* file = FileAt(path)) {
      Respond(http::status::ok, file->bytes, file->type);
    } else {
      Respond(http::status::not_found, "not found\n", "text/plain");
    }
  }

  void Upgrade(const Request& request, std::string_view path) {
    const char* refusal = path != "/ws" ? "no WebSocket at this path"
                                        : RefusalOf(request, server_, kTls<Stream>, local_);
    if (refusal != nullptr) {
      server_.events.Refused(peer_, std::string("WebSocket refused (403): ") + refusal);
      keepAlive_ = false;
      Respond(http::status::forbidden, "forbidden\n", "text/plain");
      return;
    }
    slot_.ShowedToken();
    handedOn_ = true;
    StartControllerSession(server_, std::move(stream_), std::move(peer_), request);
  }

  const PageFile* FileAt(std::string_view path) const {
    for (std::size_t i = 0; i < server_.settings.fileCount; ++i) {
      if (server_.settings.files[i].path == path) {
        return &server_.settings.files[i];
      }
    }
    return nullptr;
  }

  // A request that must show the token: whether it did (its connection is then kept), or the
  // refusal, logged and answered with 403.
  bool Admitted(const Request& request, const char* what) {
    const char* refusal = RefusalOf(request, server_, kTls<Stream>, local_);
    if (refusal == nullptr) {
      slot_.ShowedToken();
      return true;
    }
    server_.events.Refused(peer_, std::string(what) + " refused (403): " + refusal);
    Respond(http::status::forbidden, "forbidden\n", "text/plain");
    return false;
  }

  // Whether the page's token still pairs it (204) or is one of an earlier pairing (403): what
  // the page asks when its WebSocket does not open, to tell a refusal from an outage.
  // A name that is not this server's is told apart (421), whatever the token: that tells a
  // stranger nothing, and the page can say to use an address that was printed.
  void Pairing(const Request& request) {
    if (!HostNamesThisServer(request, server_, kTls<Stream>, local_)) {
      server_.events.Refused(peer_, "pairing refused (421): a Host that is not this server");
      Respond(http::status::misdirected_request, "not this server's name\n", "text/plain");
      return;
    }
    if (!Admitted(request, "pairing")) {
      return;
    }
    Respond(http::status::no_content, "", "text/plain");
  }

  // A message sent as a request: the same checks as on the WebSocket, then the same way on.
  void Input(const Request& request) {
    if (!Admitted(request, "request")) {
      return;
    }
    float values[5];
    const std::string& body = request.body();
    const MessageVerdict verdict = CheckControllerMessage(
        reinterpret_cast<const unsigned char*>(body.data()), body.size(), true, values);
    if (verdict != MessageVerdict::kForward) {
      if (server_.requests) {
        server_.requests->Released();  // as a refused WebSocket message: let go at once
      }
      server_.events.Refused(
          peer_, std::string("request refused (400): ") + CloseForVerdict(verdict).reason);
      Respond(http::status::bad_request, "bad message\n", "text/plain");
      return;
    }
    if (!server_.requests) {
      server_.requests = std::make_shared<RequestController>(server_);
    }
    if (server_.controller.lock() != server_.requests) {
      server_.events.Connected(peer_ + " (HTTPS requests)");
    }
    server_.requests->TakeControl();
    server_.requests->Forward(values);
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
  bool keepAlive_ = true;
  bool answered_ = false;  // a request was answered: the next one must come soon
  bool handedOn_ = false;  // the stream went to the controller's WebSocket
};

}  // namespace joywire::web
