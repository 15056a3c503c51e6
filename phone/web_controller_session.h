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
  ControllerSession(Server& server, Stream&& stream, std::string peer, std::string_view target)
      : Controller(server),
        slot_(server, Service::kController, beast::get_lowest_layer(stream).socket(), true,
              [this] { beast::get_lowest_layer(socket_).close(); }),
        socket_(std::move(stream)),
        peer_(std::move(peer)),
        target_(target) {}

  void Accept(const Request& request) {
    beast::get_lowest_layer(socket_).expires_never();
    beast::get_lowest_layer(socket_).socket().set_option(tcp::no_delay(true));
    websocket::stream_base::timeout timeouts{};
    timeouts.handshake_timeout = kRequestTime;
    timeouts.idle_timeout = kIdleControllerTime;
    timeouts.keep_alive_pings = true;
    socket_.set_option(timeouts);
    // No limit of the stream's own: it would refuse a long message only once the close was
    // answered, the stick held meanwhile. Read() takes a message a little at a time instead,
    // and OnRead refuses it at once, however long it says it is.
    socket_.read_message_max(0);
    socket_.text(true);  // what it is told: its player, and acknowledgements
    socket_.async_accept(request,
                         [self = Self()](beast::error_code error) { self->OnAccept(error); });
  }

  void TakenOver(std::string_view by) override {
    takenOver_ = TakenOverReason(server_, player_, AddressOfPeer(by));
    Close(kTakenOver, takenOver_.c_str());
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
    player_ = Join(JoinRequestOf(target_), peer_);
    if (player_ == 0) {
      const std::string full = AllInUseReason(server_);
      server_.events.Refused(peer_, full);
      Close(kAllInUse, full.c_str());
    } else {
      Tell("player " + std::to_string(player_) + " of " +
           std::to_string(server_.steering.Players()));
      server_.events.Connected(player_, peer_);
    }
    Read();
  }

  // A text frame to the page, unless one is on its way (an acknowledgement can wait).
  bool Tell(std::string text) {
    if (writing_ || closing_) {
      return false;
    }
    writing_ = true;
    told_ = std::move(text);
    socket_.async_write(asio::buffer(told_), [self = Self()](beast::error_code, std::size_t) {
      self->writing_ = false;
    });
    return true;
  }

  void Read() {
    socket_.async_read_some(
        buffer_, kMessageLimit + 1 - buffer_.size(),
        [self = Self()](beast::error_code error, std::size_t) { self->OnRead(error); });
  }

  // A phone's message: checked, then forwarded at once as one datagram.
  void OnRead(beast::error_code error) {
    if (error) {
      if (player_ == 0) {
        return;  // every player was in use: refused, and said so
      }
      if (!takenOver_.empty()) {
        Ended(takenOver_);
      } else if (error == websocket::error::closed) {
        Ended("closed by the page");
      } else {
        Ended("connection lost: " + error.message());
      }
      return;
    }
    if (closing_) {  // what comes until the close is answered is not read
      buffer_.consume(buffer_.size());
      Read();
      return;
    }
    if (!socket_.is_message_done() && buffer_.size() <= kMessageLimit) {
      Read();  // the rest of the message
      return;
    }
    ControllerMessage message;
    const auto data = buffer_.cdata();
    const auto* bytes = static_cast<const unsigned char*>(data.data());
    int roundTrip = 0;
    if (!socket_.got_binary() && ReadRoundTripReport(bytes, data.size(), roundTrip)) {
      buffer_.consume(buffer_.size());
      if (roundTrip >= 0) {
        server_.events.RoundTrip(player_, roundTrip);
      }
      Read();
      return;
    }
    const MessageVerdict verdict =
        CheckControllerMessage(bytes, data.size(), socket_.got_binary(), message);
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
    ++messages_;
    // The page measures its round trip from these: the count of its messages read so far.
    const auto now = std::chrono::steady_clock::now();
    if (now - lastAck_ >= kAckInterval && Player() != 0) {
      lastAck_ = now;
      if (std::string trouble = server_.events.Trouble(player_); trouble != toldTrouble_) {
        if (Tell("trouble " + trouble)) {  // its device does not move: the phone says why
          toldTrouble_ = std::move(trouble);
        }
      } else {
        Tell("ack " + std::to_string(messages_));
      }
    }
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
    server_.events.Disconnected(player_, peer_,
                                closeReason_.empty() ? why : "closed: " + closeReason_);
  }

  ConnectionSlot slot_;
  websocket::stream<Stream> socket_;
  beast::flat_buffer buffer_;
  std::string peer_;
  std::string target_;  // the upgrade's: what the phone asks for as it joins
  std::string closeReason_;
  std::string takenOver_;    // why it was closed, when another phone took its player over
  std::string told_;         // the text frame on its way
  std::string toldTrouble_;  // what the page was last told keeps its device from moving
  int player_ = 0;
  long long messages_ = 0;
  std::chrono::steady_clock::time_point lastAck_{};
  bool writing_ = false;
  bool closing_ = false;
};

}  // namespace joywire::web
