#pragma once

#include <cstddef>
#include <cstdint>

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

// Little-endian binary32 access to the value at `index` (0..4) of a packet.
float ReadPacketValue(const ControlPacket& packet, std::size_t index);
void WritePacketValue(ControlPacket& packet, std::size_t index, float value);

}  // namespace joywire
