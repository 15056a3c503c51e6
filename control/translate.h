#pragma once

// The translation of one control datagram into joystick axes and buttons. Everything here runs
// once per datagram, so it is inline: the feed loop compiles to straight-line code.

#include <cstdint>

#include "control/control_packet.h"

namespace joywire {

inline constexpr float kAxisLowerBound = -1.0f;
inline constexpr float kAxisUpperBound = 1.0f;
inline constexpr float kAxisFullScale = 32767.0f;
inline constexpr float kHalfFactor = 0.5f;

// A NaN axis fails both clamp comparisons; it is read as a centred axis (what 0.0 gives),
// so a sender's bad float never jerks a stick to one end.
inline constexpr std::int32_t kNanAxisValue = 16383;

// Any button value whose truncation is not exactly 1 (NaN and values beyond the 32-bit range
// included) comes out as this.
inline constexpr std::int32_t kReleasedButtonValue = 0;

struct TranslatedControls {
  std::int32_t x;
  std::int32_t y;
  std::int32_t z;
  std::int32_t b1;
  std::int32_t b2;
};

// Clamps one axis value to -1..1 and scales it to 0..32767, in single precision.
inline float ScaleAxis(float value) {
  if (value < kAxisLowerBound) {
    return 0.0f;
  }
  if (value > kAxisUpperBound) {
    return kAxisFullScale;
  }
  // Each step is rounded to single precision on its own, in this order.
  const float shifted = value + 1.0f;
  const float full = shifted * kAxisFullScale;
  return full * kHalfFactor;
}

namespace detail {

// A scaled axis is within 0..32767 or NaN, so its conversion is always defined.
inline std::int32_t TruncateAxis(float scaled) {
  if (scaled != scaled) {
    return kNanAxisValue;
  }
  return static_cast<std::int32_t>(scaled);
}

// Truncation toward zero without undefined behaviour: the float range [-2^31, 2^31) converts
// exactly, anything else (NaN, infinities, huge values) has no int32 truncation.
inline std::int32_t TruncateButton(float value) {
  if (!(value >= -2147483648.0f && value < 2147483648.0f)) {
    return kReleasedButtonValue;
  }
  return static_cast<std::int32_t>(value);
}

// Scales one axis, stores the scaled value back over it and returns its truncation.
inline std::int32_t TranslateAxis(ControlPacket& packet, std::size_t axis) {
  const float scaled = ScaleAxis(ReadPacketValue(packet, axis));
  WritePacketValue(packet, axis, scaled);
  return TruncateAxis(scaled);
}

}  // namespace detail

// Translates one datagram. The three axis values in the packet are overwritten with their
// scaled values, as the receive buffer is expected to hold them afterwards.
inline TranslatedControls TranslatePacket(ControlPacket& packet) {
  TranslatedControls controls;
  controls.x = detail::TranslateAxis(packet, 0);
  controls.y = detail::TranslateAxis(packet, 1);
  controls.z = detail::TranslateAxis(packet, 2);
  controls.b1 = detail::TruncateButton(ReadPacketValue(packet, kAxisCount));
  controls.b2 = detail::TruncateButton(ReadPacketValue(packet, kAxisCount + 1));
  return controls;
}

// Button bits: bit 0 for button 1, bit 1 for button 2; both pressed counts as none.
inline std::int32_t MapButtons(std::int32_t b1, std::int32_t b2) {
  const bool first = b1 == 1;
  const bool second = b2 == 1;
  if (first && !second) {
    return 1;
  }
  if (second && !first) {
    return 2;
  }
  return 0;
}

}  // namespace joywire
