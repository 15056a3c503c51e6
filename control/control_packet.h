#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace joywire {

// One control datagram as it arrives: five IEEE-754 binary32 values, little-endian
// whatever the host, with no header, length or checksum.
//   offset 0 A0 -> X axis, 4 A1 -> Y axis, 8 A2 -> Z axis, 12 B1 -> button 1, 16 B2 -> button 2
inline constexpr std::size_t kControlPacketSize = 20;
inline constexpr std::size_t kAxisCount = 3;
inline constexpr std::size_t kButtonCount = 2;

struct ControlPacket {
  std::uint8_t bytes[kControlPacketSize];
};

// A little-endian binary32 value at `at`, whatever the host.
inline float ReadLittleEndianFloat(const std::uint8_t* at) {
  std::uint32_t bits;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&bits, at, sizeof bits);
  } else {
    bits = static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
           static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
  }
  return std::bit_cast<float>(bits);
}

// Little-endian binary32 access to the value at `index` (0..4) of a packet.
inline float ReadPacketValue(const ControlPacket& packet, std::size_t index) {
  return ReadLittleEndianFloat(packet.bytes + index * 4);
}

inline void WriteLittleEndianFloat(std::uint8_t* at, float value) {
  const std::uint32_t bits = std::bit_cast<std::uint32_t>(value);
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(at, &bits, sizeof bits);
  } else {
    for (std::size_t byte = 0; byte < 4; ++byte) {
      at[byte] = static_cast<std::uint8_t>(bits >> (8 * byte));
    }
  }
}

inline void WritePacketValue(ControlPacket& packet, std::size_t index, float value) {
  WriteLittleEndianFloat(packet.bytes + index * 4, value);
}

}  // namespace joywire
