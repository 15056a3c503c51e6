#pragma once

#include <cstddef>
#include <string>

namespace joywire {

// The IPv4 addresses of this machine's network interfaces that are up, as dotted text.
inline constexpr std::size_t kMaxLocalAddresses = 32;
struct LocalAddresses {
  char text[kMaxLocalAddresses][16];
  std::size_t count;
};

// Fills `addresses`, the machine's own (non-loopback) addresses first and loopback last.
void ListLocalAddresses(LocalAddresses& addresses);

// Adds one, unless it is there already or the list is full.
inline void AddLocalAddress(LocalAddresses& addresses, const char (&text)[16]) {
  for (std::size_t i = 0; i < addresses.count; ++i) {
    if (std::char_traits<char>::compare(addresses.text[i], text, 16) == 0) {
      return;
    }
  }
  if (addresses.count < kMaxLocalAddresses) {
    std::char_traits<char>::copy(addresses.text[addresses.count++], text, 16);
  }
}

}  // namespace joywire
