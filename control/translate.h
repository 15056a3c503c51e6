#pragma once

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
float ScaleAxis(float value);

// Translates one datagram. The three axis values in the packet are overwritten with their
// scaled values, as the receive buffer is expected to hold them afterwards.
TranslatedControls TranslatePacket(ControlPacket& packet);

// Button bits: bit 0 for button 1, bit 1 for button 2; both pressed counts as none.
std::int32_t MapButtons(std::int32_t b1, std::int32_t b2);

}  // namespace joywire
