#include "platform/udp_sender.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
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

std::size_t ReceiveSentBack(const UdpSender& sender, void* bytes, std::size_t capacity) {
  sockaddr_in from{};
  socklen_t length = sizeof from;
  const ssize_t got = ::recvfrom(static_cast<int>(sender.handle), bytes, capacity, MSG_DONTWAIT,
                                 reinterpret_cast<sockaddr*>(&from), &length);
  const bool fromDestination = got > 0 &&
                               std::memcmp(&from.sin_port, sender.destination + 2, 2) == 0 &&
                               std::memcmp(&from.sin_addr, sender.destination + 4, 4) == 0;
  return fromDestination ? static_cast<std::size_t>(got) : 0;
}

std::uintptr_t DuplicateUdpSender(const UdpSender& sender) {
  const int copy = ::fcntl(static_cast<int>(sender.handle), F_DUPFD_CLOEXEC, 0);
  return copy < 0 ? ~std::uintptr_t{0} : static_cast<std::uintptr_t>(copy);
}

}  // namespace joywire
