#include "phone/forward/forwarder.h"

namespace joywire {

namespace {

// Before a phone's first message a device shows its rest: centred, the throttle closed.
constexpr ControllerMessage kFirstState{{0.0f, 0.0f, -1.0f, 0.0f, 0.0f}, false, {}};

}  // namespace

Forwarder::Forwarder(const std::vector<UdpSender>& senders, std::optional<float> throttleRest)
    : senders_(senders),
      throttleRest_(throttleRest),
      sent_(senders.size(), Sent{kFirstState, 0}),
      failures_(senders.size(), 0) {}

void Forwarder::Forward(int player, const ControllerMessage& message,
                        std::span<const unsigned char> datagram) {
  Sent& to = sent_[player - 1];
  to.last = message;
  ++to.messages;
  Send(player, datagram);
}

void Forwarder::Neutral(int player) {
  Sent& to = sent_[player - 1];
  ControllerMessage neutral = NeutralOf(to.last);
  if (throttleRest_ && !neutral.longRecord) {
    neutral.values[2] = *throttleRest_;  // a robot stops, rather than keep driving
  }
  to.last = neutral;
  unsigned char datagram[kLongRecordSize];
  Send(player, {datagram, DatagramOfMessage(neutral, datagram)});
}

void Forwarder::Send(int player, std::span<const unsigned char> datagram) {
  if (!SendDatagram(senders_[player - 1], datagram.data(), datagram.size())) {
    ++failures_[player - 1];
  }
}

long long Forwarder::TakeFailures(int player) {
  const long long failed = failures_[player - 1];
  failures_[player - 1] = 0;
  return failed;
}

}  // namespace joywire
