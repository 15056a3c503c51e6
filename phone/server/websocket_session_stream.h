#pragma once

// The controller's WebSocket session for one kind of stream. Each stream's session is compiled
// on its own (websocket_session_plain.cpp, websocket_session_tls.cpp): Beast's templates for
// the two are most of the server's compile time, and two files build side by side.
#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>

#include <deque>
#include <memory>

#include "phone/server/channel_link.h"
#include "phone/server/websocket_session.h"

namespace joywire::web {

namespace websocket = beast::websocket;

namespace websocket_sessions {

inline websocket::close_reason CloseReason(unsigned short code, const char* why) {
  websocket::close_reason reason;
  reason.code = code;
  reason.reason = why;
  return reason;
}

// Texts waiting for the page: the few a negotiation sends at once are never dropped.
constexpr std::size_t kOutboxLimit = 32;

template <typename Stream>
class WebSocketSession : public PhoneLink,
                         public ChannelOwner,
                         public std::enable_shared_from_this<WebSocketSession<Stream>> {
 public:
  WebSocketSession(SharedState& state, Stream&& stream, std::string peer, std::string_view target)
      : state_(state),
        channel_(state),
        slot_(state.connections, Service::kController, beast::get_lowest_layer(stream).socket(),
              true, [this] { beast::get_lowest_layer(socket_).close(); }),
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
    // and OnRead hands it on at once past the limit, however long it says it is.
    socket_.read_message_max(0);
    socket_.text(true);  // what it is told: its player, and acknowledgements
    socket_.async_accept(request,
                         [self = Self()](beast::error_code error) { self->OnAccept(error); });
  }

  void TakenOver(std::string_view by) override {
    takenOver_ = state_.TakenOverReason(player_, AddressOfPeer(by));
    Close(kTakenOver, takenOver_.c_str());
  }

  // Its data channel, told on the server's thread.
  void Answer(std::string sdp) override { Tell("answer " + sdp); }
  void LocalCandidate(int mline, std::string candidate) override {
    Tell("candidate " + std::to_string(mline) + " " + candidate);
  }
  void ChannelOpened() override { channel_.Opened(player_); }
  void ChannelMessage(std::span<const unsigned char> bytes, bool binary) override {
    if (closing_) {
      return;
    }
    const Reply reply = channel_.Message(*this, player_, bytes, binary, acks_);
    if (reply.closeReason != nullptr) {
      closeReason_ = reply.closeReason;
      Close(reply.closeCode, reply.closeReason);
    } else if (!reply.tell.empty()) {
      Tell(reply.tell);
    }
  }
  void ChannelClosed() override { channel_.Drop(player_); }

  // The game's rumble, over whichever link the phone's messages take.
  void Rumble(const std::string& said) override {
    if (!channel_.Say(said)) {
      Tell(said);
    }
  }

 private:
  std::shared_ptr<WebSocketSession> Self() { return this->shared_from_this(); }

  void OnAccept(beast::error_code error) {
    if (error) {
      state_.events.Refused(peer_, "WebSocket handshake failed: " + error.message());
      return;
    }
    player_ = state_.Join(Self(), JoinRequestOf(target_), peer_);
    if (player_ == 0) {
      allInUse_ = state_.AllInUseReason();
      Close(kAllInUse, allInUse_.c_str());
    } else {
      Tell("player " + std::to_string(player_) + " of " +
           std::to_string(state_.steering.Players()));
    }
    Read();
  }

  // A text frame to the page, in turn; none once closing.
  void Tell(std::string text) {
    if (closing_ || outbox_.size() >= kOutboxLimit) {
      return;
    }
    outbox_.push_back(std::move(text));
    if (!writing_) {
      WriteNext();
    }
  }

  void WriteNext() {
    if (outbox_.empty() || closing_) {
      writing_ = false;
      return;
    }
    writing_ = true;
    socket_.async_write(asio::buffer(outbox_.front()),
                        [self = Self()](beast::error_code error, std::size_t) {
                          self->outbox_.pop_front();
                          if (error) {
                            self->writing_ = false;
                            return;
                          }
                          self->WriteNext();
                        });
  }

  // Text may be an offer, longer than any controller message.
  std::size_t Limit() const {
    return buffer_.size() > 0 && socket_.got_text() ? kSignalLimit : kMessageLimit;
  }

  void Read() {
    socket_.async_read_some(
        buffer_, Limit() + 1 - buffer_.size(),
        [self = Self()](beast::error_code error, std::size_t) { self->OnRead(error); });
  }

  void OnRead(beast::error_code error) {
    if (error) {
      Ended(error);
      return;
    }
    if (closing_) {  // what comes until the close is answered is not read
      buffer_.consume(buffer_.size());
      Read();
      return;
    }
    if (!socket_.is_message_done() && buffer_.size() <= Limit()) {
      Read();  // the rest of the message
      return;
    }
    const auto data = buffer_.cdata();
    const std::span<const unsigned char> bytes{static_cast<const unsigned char*>(data.data()),
                                               data.size()};
    if (const ChannelSignal signal = ReadChannelSignal(bytes);
        signal.kind != ChannelSignal::Kind::kNone && socket_.got_text() &&
        socket_.is_message_done()) {
      const std::string local =
          beast::get_lowest_layer(socket_).socket().local_endpoint(ignored_).address().to_string();
      if (std::string tell = channel_.Signal(signal, player_, this->weak_from_this(), local);
          !tell.empty()) {
        Tell(std::move(tell));
      }
      buffer_.consume(buffer_.size());
      Read();
      return;
    }
    const Reply reply =
        state_.Receive(*this, player_, bytes.first(std::min(bytes.size(), kMessageLimit + 1)),
                       socket_.got_binary(), acks_, !writing_);
    buffer_.consume(buffer_.size());
    if (reply.closeReason != nullptr) {
      closeReason_ = reply.closeReason;
      Close(reply.closeCode, reply.closeReason);
    } else if (!reply.tell.empty()) {
      Tell(reply.tell);
    }
    Read();  // the next message, or until the close completes
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

  void Ended(beast::error_code error) {
    channel_.Drop(0);
    if (player_ == 0) {
      return;  // every player was in use: refused, and said so
    }
    state_.Leave(*this);
    const std::string why = !closeReason_.empty() ? "closed: " + closeReason_
                            : !takenOver_.empty() ? takenOver_
                            : error == websocket::error::closed
                                ? "closed by the page"
                                : "connection lost: " + error.message();
    state_.events.Disconnected(player_, peer_, why);
  }

  SharedState& state_;
  ChannelLink channel_;  // its data channel, once offered
  beast::error_code ignored_;
  ConnectionSlot slot_;
  websocket::stream<Stream> socket_;
  beast::flat_buffer buffer_;
  std::string peer_;
  std::string target_;              // the upgrade's: what the phone asks for as it joins
  std::string closeReason_;         // why it was refused, once it was
  std::string takenOver_;           // why it was closed, when another phone took its player over
  std::string allInUse_;            // why it was closed, when every player was in use
  std::deque<std::string> outbox_;  // the text frames on their way, the first being written
  Acknowledging acks_;
  int player_ = 0;
  bool writing_ = false;
  bool closing_ = false;
};

template <typename Stream>
void Start(SharedState& state, Stream&& stream, std::string peer, const Request& upgrade) {
  std::make_shared<WebSocketSession<Stream>>(state, std::move(stream), std::move(peer),
                                             upgrade.target())
      ->Accept(upgrade);
}

}  // namespace websocket_sessions

}  // namespace joywire::web
