#pragma once

// The longer control datagram: today's 20 bytes, then a tail of joywire's own with more axes, a
// hat and 32 buttons. A feeder that reads 20 bytes only still gets X, Y, Z and buttons 1 and 2
// from the head; one that knows the tail takes its buttons from the mask.
//   offset 20 tag "JWx1" (4A 57 78 31)   24 version 1 (uint8)   25 hat (uint8)   26 zero (2 bytes)
//          28 buttons, bit 0 = button 1 (uint32 little-endian)
//          32 six more axes, -1..1 (binary32 little-endian): 32 RX, 36 RY, 40 RZ, 44 slider,
//             48 dial, 52 wheel
// Hat: 0 centred, 1 up, 2 up-right, 3 right ... 8 up-left (clockwise); any other value is
// centred. A datagram of another length, tag or version is no record: its first 20 bytes
// are used, as from any other sender.

#include <cstddef>
#include <cstdint>

#include "control/control_packet.h"
#include "control/translate.h"

namespace joywire {

inline constexpr std::size_t kLongRecordSize = 56;
inline constexpr std::uint8_t kRecordTag[4] = {0x4A, 0x57, 0x78, 0x31};
inline constexpr std::uint8_t kRecordTailVersion = 1;
inline constexpr std::size_t kExtraAxisCount = 6;
inline constexpr std::uint8_t kHatCentred = 0;
inline constexpr std::uint8_t kHatDirections = 8;

struct RecordTail {
  std::uint8_t hat;
  std::uint32_t buttons;
  float axes[kExtraAxisCount];  // as sent: the device scales them as it scales X, Y and Z
};

// What the socket fills: the head, then room for the tail and one byte more, so that a longer
// datagram (cut to the buffer by the socket layer) never passes for a record.
struct ReceiveBuffer {
  ControlPacket head;
  std::uint8_t tail[kLongRecordSize - kControlPacketSize + 8];
};
static_assert(sizeof(ReceiveBuffer) == kLongRecordSize + 8);

// Whether the datagram in `buffer`, `size` bytes long, is a longer record of this version; its
// tail in `tail` when it is.
inline bool ReadRecordTail(const ReceiveBuffer& buffer, std::size_t size, RecordTail& tail) {
  const std::uint8_t* at = buffer.tail;
  if (size != kLongRecordSize || at[0] != kRecordTag[0] || at[1] != kRecordTag[1] ||
      at[2] != kRecordTag[2] || at[3] != kRecordTag[3] || at[4] != kRecordTailVersion) {
    return false;
  }
  tail.hat = at[5] <= kHatDirections ? at[5] : kHatCentred;
  tail.buttons = static_cast<std::uint32_t>(at[8]) | static_cast<std::uint32_t>(at[9]) << 8 |
                 static_cast<std::uint32_t>(at[10]) << 16 |
                 static_cast<std::uint32_t>(at[11]) << 24;
  for (std::size_t axis = 0; axis < kExtraAxisCount; ++axis) {
    tail.axes[axis] = ReadLittleEndianFloat(at + 12 + axis * 4);
  }
  return true;
}

// Writes the tail after a 20-byte head at `at` (36 bytes): the inverse of ReadRecordTail.
inline void WriteRecordTail(std::uint8_t* at, const RecordTail& tail) {
  const std::uint8_t header[8] = {kRecordTag[0],
                                  kRecordTag[1],
                                  kRecordTag[2],
                                  kRecordTag[3],
                                  kRecordTailVersion,
                                  tail.hat,
                                  0,
                                  0};
  for (std::size_t byte = 0; byte < 8; ++byte) {
    at[byte] = header[byte];
  }
  for (std::size_t byte = 0; byte < 4; ++byte) {
    at[8 + byte] = static_cast<std::uint8_t>(tail.buttons >> (8 * byte));
  }
  for (std::size_t axis = 0; axis < kExtraAxisCount; ++axis) {
    WriteLittleEndianFloat(at + 12 + axis * 4, tail.axes[axis]);
  }
}

// The controls a device may have beyond the driver's record: the tail's six axes scaled as X,
// Y and Z are (0..32767), and the hat. `atRest` marks the device's state before any datagram.
struct ExtraControls {
  std::int32_t axes[kExtraAxisCount];
  std::uint8_t hat;
  bool atRest;
};

// What a 20-byte datagram leaves them at: the second stick and the other axes centred, the
// third (a right trigger) released, the hat centred. Nothing is held by a sender that never
// spoke of them.
inline constexpr ExtraControls kRestExtraControls{
    {16383, 16383, 0, 16383, 16383, 16383}, kHatCentred, false};

inline bool ExtraControlsAtRest(const ExtraControls& controls) {
  for (std::size_t axis = 0; axis < kExtraAxisCount; ++axis) {
    if (controls.axes[axis] != kRestExtraControls.axes[axis]) {
      return false;
    }
  }
  return controls.hat == kRestExtraControls.hat;
}

inline ExtraControls ScaleExtraControls(const RecordTail& tail) {
  ExtraControls extras{{}, tail.hat, false};
  for (std::size_t axis = 0; axis < kExtraAxisCount; ++axis) {
    extras.axes[axis] = detail::TruncateAxis(ScaleAxis(tail.axes[axis]));
  }
  return extras;
}

}  // namespace joywire
