#pragma once

// The IPv4 ranges a phone on the local network reaches this machine at: the private ones and
// loopback. The local authority may sign certificates for these only, and the server offers
// HTTPS on these only; both read this one table.

#include <cstdint>
#include <string>

namespace joywire {

struct AddressRange {
  std::uint32_t base;  // host byte order
  std::uint32_t mask;
};

inline constexpr AddressRange kPrivateRanges[] = {
    {0x0A000000, 0xFF000000},  // 10.0.0.0/8
    {0xAC100000, 0xFFF00000},  // 172.16.0.0/12
    {0xC0A80000, 0xFFFF0000},  // 192.168.0.0/16
    {0x7F000000, 0xFF000000},  // 127.0.0.0/8
};

inline bool InPrivateRange(std::uint32_t address) {
  for (const AddressRange& range : kPrivateRanges) {
    if ((address & range.mask) == range.base) {
      return true;
    }
  }
  return false;
}

// The authority's name constraints: the ranges above, localhost and *.local, as OpenSSL's
// configuration text ("critical,permitted;IP:10.0.0.0/255.0.0.0,...").
inline std::string PrivateNameConstraints() {
  const auto dotted = [](std::uint32_t value) {
    return std::to_string(value >> 24) + "." + std::to_string((value >> 16) & 0xFF) + "." +
           std::to_string((value >> 8) & 0xFF) + "." + std::to_string(value & 0xFF);
  };
  std::string text = "critical";
  for (const AddressRange& range : kPrivateRanges) {
    text += ",permitted;IP:" + dotted(range.base) + "/" + dotted(range.mask);
  }
  return text + ",permitted;DNS:localhost,permitted;DNS:local";
}

}  // namespace joywire
