#pragma once

#include <cstddef>

namespace joywire {

// The IPv4 addresses of this machine's network interfaces that are up, as dotted text.
inline constexpr std::size_t kMaxLocalAddresses = 32;
struct LocalAddresses {
  char text[kMaxLocalAddresses][16];
  std::size_t count;
};

// Fills `addresses`, the machine's own (non-loopback) addresses first and loopback last.
void ListLocalAddresses(LocalAddresses& addresses);

}  // namespace joywire
