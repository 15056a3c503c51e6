#include "feeder/device_number.h"

namespace joywire {

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

DeviceNumberText ParseDeviceNumber(const char* text) {
  const char* at = text;
  while (IsSpace(*at)) {
    ++at;
  }
  bool negative = false;
  if (*at == '+' || *at == '-') {
    negative = *at == '-';
    ++at;
  }
  if (*at < '0' || *at > '9') {
    return DeviceNumberText{0, text};
  }
  // Accumulate the magnitude in 64 bits and stop growing it once it is past the range.
  constexpr std::int64_t kLimit = std::int64_t{1} << 31;
  std::int64_t magnitude = 0;
  for (; *at >= '0' && *at <= '9'; ++at) {
    if (magnitude <= kLimit) {
      magnitude = magnitude * 10 + (*at - '0');
    }
  }
  std::int64_t value = negative ? -magnitude : magnitude;
  if (value > INT32_MAX) {
    value = INT32_MAX;
  } else if (value < INT32_MIN) {
    value = INT32_MIN;
  }
  return DeviceNumberText{static_cast<std::int32_t>(value), at};
}

}  // namespace joywire
