#include "control/translate.h"

#include <bit>

namespace joywire {

namespace {

constexpr std::size_t kFirstButtonIndex = kAxisCount;

// Truncation toward zero without undefined behaviour: the float range [-2^31, 2^31) converts
// exactly, anything else (NaN, infinities, huge values) has no int32 truncation.
bool FitsInt32(float value) { return value >= -2147483648.0f && value < 2147483648.0f; }

std::int32_t TruncateAxis(float scaled) {
  if (scaled != scaled) {
    return kNanAxisValue;
  }
  return static_cast<std::int32_t>(scaled);
}

std::int32_t TruncateButton(float value) {
  if (!FitsInt32(value)) {
    return kReleasedButtonValue;
  }
  return static_cast<std::int32_t>(value);
}

}  // namespace

float ReadPacketValue(const ControlPacket& packet, std::size_t index) {
  const std::uint8_t* at = packet.bytes + index * 4;
  const std::uint32_t bits = static_cast<std::uint32_t>(at[0]) |
                             static_cast<std::uint32_t>(at[1]) << 8 |
                             static_cast<std::uint32_t>(at[2]) << 16 |
                             static_cast<std::uint32_t>(at[3]) << 24;
  return std::bit_cast<float>(bits);
}

void WritePacketValue(ControlPacket& packet, std::size_t index, float value) {
  const std::uint32_t bits = std::bit_cast<std::uint32_t>(value);
  std::uint8_t* at = packet.bytes + index * 4;
  at[0] = static_cast<std::uint8_t>(bits);
  at[1] = static_cast<std::uint8_t>(bits >> 8);
  at[2] = static_cast<std::uint8_t>(bits >> 16);
  at[3] = static_cast<std::uint8_t>(bits >> 24);
}

float ScaleAxis(float value) {
  if (value < kAxisLowerBound) {
    return 0.0f;
  }
  if (value > kAxisUpperBound) {
    return kAxisFullScale;
  }
  // Each step is rounded to single precision on its own, in this order.
  const float shifted = value + 1.0f;
  const float full = shifted * kAxisFullScale;
  const float scaled = full * kHalfFactor;
  return scaled;
}

TranslatedControls TranslatePacket(ControlPacket& packet) {
  std::int32_t axes[kAxisCount];
  for (std::size_t axis = 0; axis < kAxisCount; ++axis) {
    const float scaled = ScaleAxis(ReadPacketValue(packet, axis));
    WritePacketValue(packet, axis, scaled);
    axes[axis] = TruncateAxis(scaled);
  }
  return TranslatedControls{
      axes[0],
      axes[1],
      axes[2],
      TruncateButton(ReadPacketValue(packet, kFirstButtonIndex)),
      TruncateButton(ReadPacketValue(packet, kFirstButtonIndex + 1)),
  };
}

std::int32_t MapButtons(std::int32_t b1, std::int32_t b2) {
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
