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
// A second handle on the sender's socket, to read what its destination sends back (a feeder's
// rumble), closed on its own; ~0 where the platform offers none (Windows, whose feeder has no
// rumble to send).
std::uintptr_t DuplicateUdpSender(const UdpSender& sender);
// A datagram its destination sent back to it, if one waits: its length, or 0 (never waits; 0
// always where the platform offers none).
std::size_t ReceiveSentBack(const UdpSender& sender, void* bytes, std::size_t capacity);

}  // namespace joywire
