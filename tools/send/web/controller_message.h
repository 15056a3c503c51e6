#pragma once

#include <cstddef>

namespace joywire {

// What a phone's controller page sends: one binary WebSocket message per change, exactly the
// 20-byte datagram (five little-endian float32: X, Y, Z in -1..1, buttons 0 or 1).
inline constexpr std::size_t kControllerMessageSize = 20;

enum class MessageVerdict {
  kForward,    // a datagram as it stands
  kNotBinary,  // text: no controller sends that
  kWrongSize,  // not exactly 20 bytes
  kNotFinite,  // a NaN or an infinity among the values
};

// Checks one message; on kForward `values` holds its five values.
MessageVerdict CheckControllerMessage(const unsigned char* bytes, std::size_t size, bool binary,
                                      float values[5]);

// The WebSocket close code and reason a refused message ends its connection with.
struct CloseFor {
  unsigned short code;
  const char* reason;
};
CloseFor CloseForVerdict(MessageVerdict verdict);

// X and Y centred, buttons released, Z where it was: what a controller that went quiet leaves.
void NeutralValues(const float last[5], float neutral[5]);

}  // namespace joywire
