#pragma once

#include <cstddef>
#include <cstdint>

namespace joywire {

// A connected-less UDP sender to one IPv4 destination; each platform folder implements it.
struct UdpSender {
  std::uintptr_t handle;
  unsigned char destination[16];  // the socket layer's IPv4 address record
};

// Resolves `host` (dotted IPv4 or a name) and opens a socket. On failure `error` describes it.
bool OpenUdpSender(const char* host, std::uint16_t port, UdpSender& sender, char* error,
                   std::size_t errorCapacity);
bool SendDatagram(const UdpSender& sender, const void* bytes, std::size_t length);
void CloseUdpSender(UdpSender& sender);

}  // namespace joywire
