#include "platform/udp_sender.h"

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/ipv4_destination.h"

namespace joywire {

bool OpenUdpSender(const char* host, std::uint16_t port, UdpSender& sender, char* error,
                   std::size_t errorCapacity) {
  if (const int resolved = ResolveIpv4(host, port, sender.destination); resolved != 0) {
    std::snprintf(error, errorCapacity, "cannot resolve host '%s': %s", host,
                  ::gai_strerror(resolved));
    return false;
  }
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
  if (fd < 0) {
    std::snprintf(error, errorCapacity, "cannot open a UDP socket: %s", std::strerror(errno));
    return false;
  }
  sender.handle = static_cast<std::uintptr_t>(fd);
  return true;
}

bool SendDatagram(const UdpSender& sender, const void* bytes, std::size_t length) {
  for (;;) {
    const ssize_t sent =
        ::sendto(static_cast<int>(sender.handle), bytes, length, 0,
                 reinterpret_cast<const sockaddr*>(sender.destination), sizeof sender.destination);
    if (sent >= 0) {
      return true;
    }
    // A momentarily full send queue is no reason to stop a stream.
    if (errno != EINTR && errno != ENOBUFS && errno != EAGAIN) {
      return false;
    }
  }
}

void CloseUdpSender(UdpSender& sender) {
  ::close(static_cast<int>(sender.handle));
}

}  // namespace joywire
