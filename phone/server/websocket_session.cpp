#include "phone/server/websocket_session.h"

#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>

#include <memory>

namespace joywire::web {

namespace websocket = beast::websocket;

namespace {

websocket::close_reason CloseReason(unsigned short code, const char* why) {
  websocket::close_reason reason;
  reason.code = code;
  reason.reason = why;
  return reason;
}

template <typename Stream>
class WebSocketSession : public PhoneLink,
                         public std::enable_shared_from_this<WebSocketSession<Stream>> {
 public:
  WebSocketSession(SharedState& state, Stream&& stream, std::string peer, std::string_view target)
      : state_(state),
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

  // A text frame to the page; one at a time, and none once closing.
  void Tell(std::string text) {
    if (writing_ || closing_) {
      return;
    }
    writing_ = true;
    told_ = std::move(text);
    socket_.async_write(asio::buffer(told_), [self = Self()](beast::error_code, std::size_t) {
      self->writing_ = false;
    });
  }

  void Read() {
    socket_.async_read_some(
        buffer_, kMessageLimit + 1 - buffer_.size(),
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
    if (!socket_.is_message_done() && buffer_.size() <= kMessageLimit) {
      Read();  // the rest of the message
      return;
    }
    const auto data = buffer_.cdata();
    const Reply reply = state_.Receive(
        *this, player_, {static_cast<const unsigned char*>(data.data()), data.size()},
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
  ConnectionSlot slot_;
  websocket::stream<Stream> socket_;
  beast::flat_buffer buffer_;
  std::string peer_;
  std::string target_;       // the upgrade's: what the phone asks for as it joins
  std::string closeReason_;  // why it was refused, once it was
  std::string takenOver_;    // why it was closed, when another phone took its player over
  std::string allInUse_;     // why it was closed, when every player was in use
  std::string told_;         // the text frame on its way
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

}  // namespace

void StartWebSocketSession(SharedState& state, PlainStream&& stream, std::string peer,
                           const Request& upgrade) {
  Start(state, std::move(stream), std::move(peer), upgrade);
}

void StartWebSocketSession(SharedState& state, TlsStream&& stream, std::string peer,
                           const Request& upgrade) {
  Start(state, std::move(stream), std::move(peer), upgrade);
}

}  // namespace joywire::web
