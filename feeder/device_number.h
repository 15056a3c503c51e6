#pragma once

#include <cstdint>

namespace joywire {

struct DeviceNumberText {
  std::int32_t value;     // 0 when nothing usable was read
  const char* remainder;  // the unconverted rest (the whole text when no digit was read)
};

// Base-10 conversion as the C library does it: leading white space and a sign accepted,
// stopping at the first non-digit, clamped to the 32-bit signed range.
DeviceNumberText ParseDeviceNumber(const char* text);

}  // namespace joywire
