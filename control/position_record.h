#pragma once

#include <cstddef>
#include <cstdint>

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

// Stores X, Y, Z and the button bits; the device index is left alone.
void StorePosition(PositionRecord& record, const JoystickPosition& position);

// Reads the fields back, as a driver would.
JoystickPosition ReadPosition(const PositionRecord& record);
std::uint8_t ReadDeviceIndex(const PositionRecord& record);

}  // namespace joywire
