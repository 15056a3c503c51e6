#pragma once

#include <cstddef>

#include "control/record_tail.h"

namespace joywire {

// What a phone's controller page sends: one binary WebSocket message per change, exactly a
// datagram: the 20 bytes (five little-endian float32: X, Y, Z in -1..1, buttons 0 or 1), or
// the 56-byte longer record (those 20, then joywire's tail: more axes, a hat, 32 buttons).
inline constexpr std::size_t kControllerMessageSize = 20;
// Past this a message is refused before it has all come (it could be any length).
inline constexpr std::size_t kControllerMessageLimit = 64;

struct ControllerMessage {
  float values[5];
  bool longRecord;  // with the tail below, as the longer record
  RecordTail tail;
};

enum class MessageVerdict {
  kForward,    // a datagram as it stands
  kNotBinary,  // text: no controller sends that
  kWrongSize,  // neither 20 nor 56 bytes
  kTooLarge,   // over kControllerMessageLimit: refused without reading it to its end
  kNotFinite,  // a NaN or an infinity among the values
  kNotRecord,  // 56 bytes that are not the longer record (its tag, version, hat or zero bytes)
};

// A text message "rtt N": the round trip in milliseconds that the page measured from the
// server's acknowledgements, the median of its last few seconds. `milliseconds` is -1 for a
// report past a minute (a page that froze with an acknowledgement pending): a report still,
// but nothing to show.
bool ReadRoundTripReport(const unsigned char* bytes, std::size_t size, int& milliseconds);

// Checks one message; on kForward `message` holds what it says.
MessageVerdict CheckControllerMessage(const unsigned char* bytes, std::size_t size, bool binary,
                                      ControllerMessage& message);

// The datagram that carries `message`, in `datagram` (room for 56 bytes); returns its length.
std::size_t DatagramOfMessage(const ControllerMessage& message, unsigned char* datagram);

// The WebSocket close code and reason a refused message ends its connection with.
struct CloseFor {
  unsigned short code;
  const char* reason;
};
CloseFor CloseForVerdict(MessageVerdict verdict);

// What a controller that went quiet leaves: X and Y centred, buttons released, Z where it was
// (a throttle stays). After a longer record everything is let go, Z too: its layouts' Z is a
// trigger or a pedal, which springs back, and so are the tail's axes, hat and buttons.
ControllerMessage NeutralOf(const ControllerMessage& last);

}  // namespace joywire
