#pragma once

// The controller's WebSocket, for either kind of connection: each message checked, then
// forwarded at once as one datagram (ControllerSession::OnRead).
#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>

#include "phone/controller_message.h"
#include "phone/web_server_parts.h"

namespace joywire::web {

namespace websocket = beast::websocket;

inline websocket::close_reason CloseReason(unsigned short code, const char* why) {
  websocket::close_reason reason;
  reason.code = code;
  reason.reason = why;
  return reason;
}

template <typename Stream>
class ControllerSession : public Controller {
 public:
  ControllerSession(Server& server, Stream&& stream, std::string peer)
      : Controller(server),
        slot_(server, Service::kController, beast::get_lowest_layer(stream).socket(), true,
              [this] { beast::get_lowest_layer(socket_).close(); }),
        socket_(std::move(stream)),
        peer_(std::move(peer)) {}

  void Accept(const Request& request) {
    beast::get_lowest_layer(socket_).expires_never();
    beast::get_lowest_layer(socket_).socket().set_option(tcp::no_delay(true));
    websocket::stream_base::timeout timeouts{};
    timeouts.handshake_timeout = kRequestTime;
    timeouts.idle_timeout = kIdleControllerTime;
    timeouts.keep_alive_pings = true;
    socket_.set_option(timeouts);
    socket_.read_message_max(kMessageLimit);
    socket_.async_accept(request,
                         [self = Self()](beast::error_code error) { self->OnAccept(error); });
  }

  void TakenOver() override {
    takenOver_ = true;
    Close(kTakenOver, "taken over by another controller");
  }

 private:
  std::shared_ptr<ControllerSession> Self() {
    return std::static_pointer_cast<ControllerSession>(shared_from_this());
  }

  void OnAccept(beast::error_code error) {
    if (error) {
      server_.events.Refused(peer_, "WebSocket handshake failed: " + error.message());
      return;
    }
    TakeControl();
    server_.events.Connected(peer_);
    Read();
  }

  void Read() {
    socket_.async_read(
        buffer_, [self = Self()](beast::error_code error, std::size_t) { self->OnRead(error); });
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
    ControllerMessage message;
    const auto data = buffer_.cdata();
    const MessageVerdict verdict = CheckControllerMessage(
        static_cast<const unsigned char*>(data.data()), data.size(), socket_.got_binary(), message);
    buffer_.consume(buffer_.size());
    if (verdict != MessageVerdict::kForward) {
      const CloseFor close = CloseForVerdict(verdict);
      if (!closing_) {
        closeReason_ = close.reason;
      }
      Released();  // nothing more from it steers, and the joystick is let go at once
      Close(close.code, close.reason);
      Read();  // until the close completes
      return;
    }
    Forward(message);
    Read();
  }

  // The closing handshake, once: a second close of a WebSocket is a fault (Beast's handler of
  // it would never run, and the session would never end).
  void Close(unsigned short code, const char* why) {
    if (closing_) {
      return;
    }
    closing_ = true;
    slot_.LostToken();  // a peer that never answers the close must not hold a place for good
    socket_.async_close(CloseReason(code, why), [self = Self()](beast::error_code) {});
  }

  void Ended(const std::string& why) {
    Released();
    server_.events.Disconnected(peer_, closeReason_.empty() ? why : "closed: " + closeReason_);
  }

  ConnectionSlot slot_;
  websocket::stream<Stream> socket_;
  beast::flat_buffer buffer_;
  std::string peer_;
  std::string closeReason_;
  bool takenOver_ = false;
  bool closing_ = false;
};

}  // namespace joywire::web
