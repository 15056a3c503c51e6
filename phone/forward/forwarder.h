#pragma once

// Where a phone's checked message ends: one datagram, its bytes as they came, to its player's
// feeder; and each player's neutral position when its phone goes quiet or away.
#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "phone/forward/controller_message.h"
#include "platform/udp_sender.h"

namespace joywire {

class Forwarder {
 public:
  // What went to a player, for the display.
  struct Sent {
    ControllerMessage last;  // the state its device was last given
    long long messages;      // messages forwarded so far
  };

  // `senders`: one per player, to its feeder. `throttleRest`: Z of the neutral position after
  // a 20-byte message, or none to leave it where it was.
  Forwarder(const std::vector<UdpSender>& senders, std::optional<float> throttleRest);

  // `datagram`: the message's bytes, checked as `message`.
  void Forward(int player, const ControllerMessage& message,
               std::span<const unsigned char> datagram);
  void Neutral(int player);

  int Players() const { return static_cast<int>(sent_.size()); }
  const UdpSender& SenderOf(int player) const { return senders_[player - 1]; }
  const Sent& Of(int player) const { return sent_[player - 1]; }
  // The sends to `player`'s feeder that failed since the last call.
  long long TakeFailures(int player);

 private:
  void Send(int player, std::span<const unsigned char> datagram);

  const std::vector<UdpSender>& senders_;
  std::optional<float> throttleRest_;
  std::vector<Sent> sent_;
  std::vector<long long> failures_;
};

}  // namespace joywire
