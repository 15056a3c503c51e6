#include "control/position_record.h"

#include <cstring>

namespace joywire {

namespace {

void StoreInt32(PositionRecord& record, std::size_t offset, std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  for (std::size_t byte = 0; byte < 4; ++byte) {
    record.bytes[offset + byte] = static_cast<std::uint8_t>(bits >> (8 * byte));
  }
}

std::int32_t ReadInt32(const PositionRecord& record, std::size_t offset) {
  std::uint32_t bits = 0;
  for (std::size_t byte = 0; byte < 4; ++byte) {
    bits |= static_cast<std::uint32_t>(record.bytes[offset + byte]) << (8 * byte);
  }
  return static_cast<std::int32_t>(bits);
}

}  // namespace

void ResetPositionRecord(PositionRecord& record, std::int32_t deviceNumber) {
  std::memset(record.bytes, 0, sizeof record.bytes);
  record.bytes[kDeviceIndexOffset] = static_cast<std::uint8_t>(deviceNumber & 0xFF);
}

void StorePosition(PositionRecord& record, const JoystickPosition& position) {
  StoreInt32(record, kAxisXOffset, position.x);
  StoreInt32(record, kAxisYOffset, position.y);
  StoreInt32(record, kAxisZOffset, position.z);
  StoreInt32(record, kButtonBitsOffset, position.buttons);
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
