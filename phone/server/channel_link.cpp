#include "phone/server/channel_link.h"

namespace joywire::web {

std::string ChannelLink::Signal(const ChannelSignal& signal, int player,
                                std::weak_ptr<ChannelOwner> owner,
                                const std::string& localAddress) {
  if (signal.kind == ChannelSignal::Kind::kStream) {
    Drop(player, signal.text == "idle" ? "idle" : "stream");  // the page lost it, or closed it
    return {};
  }
  if (signal.kind == ChannelSignal::Kind::kCandidate) {
    // A browser names its own address by a random .local name: nothing to look up, as the
    // phone's first check tells its address anyway.
    if (peer_ && signal.text.find(".local ") == std::string_view::npos) {
      peer_->RemoteCandidate(signal.mline, signal.text);
    }
    return {};
  }
  Drop(player);  // a new offer: the page gave up on the last one
  const std::string_view unavailable =
      !state_.settings.datagrams ? std::string_view("turned off") : DataChannelsUnavailable();
  if (!unavailable.empty() || player == 0 || !state_.TakeChannel()) {
    return "datagrams off: " + std::string(unavailable.empty() ? "too many phones" : unavailable);
  }
  peer_ = StartDataChannelPeer(state_.io, owner, localAddress, state_.settings.channelPorts);
  if (!peer_) {
    state_.ReturnChannel();
    return "datagrams off: not started";
  }
  gate_ = SequenceGate{};
  peer_->Offer(signal.text);
  openTimer_.expires_after(kChannelOpenTime);
  openTimer_.async_wait([this, owner, player](boost::system::error_code error) {
    // The owner alive means this link is too: it is the owner's.
    if (!error && owner.lock() && !open_) {
      Drop(0);  // not open in time: the page is on its WebSocket by now
      state_.events.Path(player, "unopened");
    }
  });
  return {};
}

void ChannelLink::Opened(int player) {
  if (peer_ && !open_) {
    open_ = true;
    openTimer_.cancel();
    // Open: no more candidates are looked for, and ICE's checks fall quiet (else its agent
    // wakes at its pace, waiting for more).
    peer_->RemoteCandidate(0, {});
    state_.events.Path(player, "datagrams");
  }
}

Reply ChannelLink::Message(PhoneLink& link, int player, std::span<const unsigned char> bytes,
                           bool binary, Acknowledging& acks) {
  if (!peer_ || player == 0) {
    return {};
  }
  Reply reply = state_.ReceiveOnChannel(link, player, bytes, binary, gate_, acks);
  if (reply.tell.starts_with("ack ")) {
    peer_->Send(reply.tell);  // measured over the path the messages take
    reply.tell.clear();
  }
  return reply;
}

bool ChannelLink::Say(const std::string& text) {
  if (!peer_ || !open_) {
    return false;
  }
  peer_->Send(text);
  return true;
}

void ChannelLink::Drop(int player, std::string_view path) {
  if (!peer_) {
    return;
  }
  peer_.reset();
  openTimer_.cancel();
  state_.ReturnChannel();
  if (open_ && player != 0) {
    state_.events.Path(player, path);
  }
  open_ = false;
}

}  // namespace joywire::web
