#pragma once

// What one datagram does to the joystick: its head translated (the axes scaled in place), and
// its buttons from a longer record's mask where it is one. Once per datagram, so inline.

#include <cstddef>
#include <cstdint>

#include "control/position_record.h"
#include "control/record_tail.h"
#include "control/translate.h"

namespace joywire {

// The position the datagram in `buffer`, `size` bytes long (at least 20), gives, and, where
// `extras` is not null (a device with more controls than the driver's record), the rest of it.
inline JoystickPosition PositionOfDatagram(ReceiveBuffer& buffer, std::size_t size,
                                           ExtraControls* extras = nullptr) {
  const TranslatedControls controls = TranslatePacket(buffer.head);
  RecordTail tail{};
  const bool record = ReadRecordTail(buffer, size, tail);
  if (extras != nullptr) {
    *extras = record ? ScaleExtraControls(tail) : kRestExtraControls;
  }
  // A longer record's buttons come from its mask (1 and 2 pressed together are both pressed).
  const std::int32_t buttons =
      record ? static_cast<std::int32_t>(tail.buttons) : MapButtons(controls.b1, controls.b2);
  return JoystickPosition{controls.x, controls.y, controls.z, buttons};
}

}  // namespace joywire
