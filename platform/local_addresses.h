#pragma once

#include <cstddef>
#include <string>
#include <string_view>

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

// This machine's name on the local network, as mDNS answers it (Avahi on Linux, Bonjour,
// Windows 10 and later): "<host name>.local", in lower case; empty when there is no host name
// or it is not a plain DNS label. It stays while DHCP hands out new addresses.
std::string LocalNetworkName();

// The name for a host name (its first label, when it is a full one).
inline std::string LocalNetworkNameOf(std::string_view hostName) {
  const std::string_view label = hostName.substr(0, hostName.find('.'));
  if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-') {
    return {};
  }
  std::string name;
  for (const char c : label) {
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!letter && !(c >= '0' && c <= '9') && c != '-') {
      return {};
    }
    name += letter && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return name + ".local";
}

}  // namespace joywire
