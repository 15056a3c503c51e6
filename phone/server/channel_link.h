#pragma once

// A phone's data channel as its WebSocket session holds it: the offer answered (only for a
// phone that steers a player), its messages taken as the WebSocket's are, and its end. The
// session only passes on what the page and the channel say.
#include <boost/asio/steady_timer.hpp>

#include <memory>
#include <span>
#include <string>

#include "phone/channel/channel_message.h"
#include "phone/channel/data_channel.h"
#include "phone/server/shared_state.h"

namespace joywire::web {

class ChannelLink {
 public:
  explicit ChannelLink(SharedState& state) : state_(state), openTimer_(state.io) {}
  ~ChannelLink() { Drop(0); }

  // The page's word about its channel, from `player`'s WebSocket that came to `localAddress`;
  // what to tell the page back, or empty.
  std::string Signal(const ChannelSignal& signal, int player, std::weak_ptr<ChannelOwner> owner,
                     const std::string& localAddress);
  // The channel opened (told by the peer).
  void Opened(int player);
  // One message over it, as SharedState::ReceiveOnChannel takes it; an acknowledgement goes
  // back over the channel, anything else is for the WebSocket.
  Reply Message(PhoneLink& link, int player, std::span<const unsigned char> bytes, bool binary,
                Acknowledging& acks);
  // Gone, or never opened: what comes next comes over the WebSocket. With `player` not 0, the
  // terminal is told the phone is back on the stream ("stream", or "idle" when the page closed
  // a channel that had nothing new to carry).
  void Drop(int player, std::string_view path = "stream");
  // `text` to the page over the channel; false while none is open.
  bool Say(const std::string& text);

 private:
  SharedState& state_;
  std::unique_ptr<DataChannelPeer> peer_;
  boost::asio::steady_timer openTimer_;  // until it is open, or dropped
  SequenceGate gate_;
  bool open_ = false;
};

}  // namespace joywire::web
