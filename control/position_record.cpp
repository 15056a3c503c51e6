#include "control/position_record.h"

#include <bit>
#include <cstring>

namespace joywire {

namespace {

std::int32_t ReadInt32(const PositionRecord& record, std::size_t offset) {
  std::uint32_t bits = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&bits, record.bytes + offset, sizeof bits);
  } else {
    for (std::size_t byte = 0; byte < 4; ++byte) {
      bits |= static_cast<std::uint32_t>(record.bytes[offset + byte]) << (8 * byte);
    }
  }
  return static_cast<std::int32_t>(bits);
}

}  // namespace

void ResetPositionRecord(PositionRecord& record, std::int32_t deviceNumber) {
  std::memset(record.bytes, 0, sizeof record.bytes);
  record.bytes[kDeviceIndexOffset] = static_cast<std::uint8_t>(deviceNumber & 0xFF);
}

JoystickPosition ReadPosition(const PositionRecord& record) {
  return JoystickPosition{
      ReadInt32(record, kAxisXOffset),
      ReadInt32(record, kAxisYOffset),
      ReadInt32(record, kAxisZOffset),
      ReadInt32(record, kButtonBitsOffset),
  };
}

std::uint8_t ReadDeviceIndex(const PositionRecord& record) {
  return record.bytes[kDeviceIndexOffset];
}

}  // namespace joywire
