#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace joywire {

// The driver's position record. The feeder writes five fields at fixed offsets; the driver
// defines the rest of the layout and reads the record whole.
inline constexpr std::size_t kDeviceIndexOffset = 0;
inline constexpr std::size_t kAxisXOffset = 16;
inline constexpr std::size_t kAxisYOffset = 20;
inline constexpr std::size_t kAxisZOffset = 24;
inline constexpr std::size_t kButtonBitsOffset = 76;

// The driver reads a fixed-size record defined by its own ABI; the versions in use end a few
// words after the button bits at offset 76 (hats and extra button words), about 110 bytes.
// Handing it a zeroed 512-byte record keeps every read it makes inside our memory, with room
// to spare for a longer future layout. Fields the feeder does not write stay zero.
inline constexpr std::size_t kPositionRecordSize = 512;

struct PositionRecord {
  alignas(8) std::uint8_t bytes[kPositionRecordSize];
};

struct JoystickPosition {
  std::int32_t x;
  std::int32_t y;
  std::int32_t z;
  std::int32_t buttons;
};

// Centred X, Y and Z at their low end, nothing pressed: what the device shows before the
// first datagram.
inline constexpr JoystickPosition kRestPosition{16383, 0, 0, 0};

// Zeroes the record and sets the device index byte (the low 8 bits of the device number).
void ResetPositionRecord(PositionRecord& record, std::int32_t deviceNumber);

// Stores a 32-bit value little-endian whatever the host (a plain copy where the host is).
inline void StoreInt32(PositionRecord& record, std::size_t offset, std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(record.bytes + offset, &bits, sizeof bits);
  } else {
    for (std::size_t byte = 0; byte < 4; ++byte) {
      record.bytes[offset + byte] = static_cast<std::uint8_t>(bits >> (8 * byte));
    }
  }
}

// Stores X, Y, Z and the button bits; the device index is left alone. Inline: it runs once per
// datagram.
inline void StorePosition(PositionRecord& record, const JoystickPosition& position) {
  StoreInt32(record, kAxisXOffset, position.x);
  StoreInt32(record, kAxisYOffset, position.y);
  StoreInt32(record, kAxisZOffset, position.z);
  StoreInt32(record, kButtonBitsOffset, position.buttons);
}

// Reads the fields back, as a driver would.
JoystickPosition ReadPosition(const PositionRecord& record);
std::uint8_t ReadDeviceIndex(const PositionRecord& record);

}  // namespace joywire
