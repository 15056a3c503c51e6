#include "tools/send/web/controller_message.h"

#include <cmath>

#include "control/control_packet.h"

namespace joywire {

MessageVerdict CheckControllerMessage(const unsigned char* bytes, std::size_t size, bool binary,
                                      float values[5]) {
  if (!binary) {
    return MessageVerdict::kNotBinary;
  }
  if (size != kControllerMessageSize) {
    return MessageVerdict::kWrongSize;
  }
  ControlPacket packet{};
  for (std::size_t i = 0; i < kControlPacketSize; ++i) {
    packet.bytes[i] = bytes[i];
  }
  for (std::size_t i = 0; i < 5; ++i) {
    values[i] = ReadPacketValue(packet, i);
    if (!std::isfinite(values[i])) {
      return MessageVerdict::kNotFinite;
    }
  }
  return MessageVerdict::kForward;
}

CloseFor CloseForVerdict(MessageVerdict verdict) {
  switch (verdict) {
    case MessageVerdict::kNotBinary:
      return CloseFor{1003, "binary messages only"};
    case MessageVerdict::kWrongSize:
      return CloseFor{1008, "a message is exactly 20 bytes"};
    case MessageVerdict::kNotFinite:
      return CloseFor{1007, "values must be finite"};
    case MessageVerdict::kForward:
      break;
  }
  return CloseFor{1000, ""};
}

void NeutralValues(const float last[5], float neutral[5]) {
  neutral[0] = 0.0f;
  neutral[1] = 0.0f;
  neutral[2] = last[2];
  neutral[3] = 0.0f;
  neutral[4] = 0.0f;
}

}  // namespace joywire
