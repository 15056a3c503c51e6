#include "platform/udp_sender.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <cstring>

namespace joywire {

bool OpenUdpSender(const char* host, std::uint16_t port, UdpSender& sender, char* error,
                   std::size_t errorCapacity) {
  WSADATA data;
  if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) {
    std::snprintf(error, errorCapacity, "cannot start Windows Sockets");
    return false;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  const int resolved = ::getaddrinfo(host, nullptr, &hints, &found);
  if (resolved != 0 || found == nullptr) {
    std::snprintf(error, errorCapacity, "cannot resolve host '%s' (error %d)", host, resolved);
    ::WSACleanup();
    return false;
  }
  sockaddr_in destination{};
  std::memcpy(&destination, found->ai_addr, sizeof destination);
  ::freeaddrinfo(found);
  destination.sin_port = ::htons(port);
  static_assert(sizeof destination == sizeof sender.destination);
  std::memcpy(sender.destination, &destination, sizeof destination);

  const SOCKET handle = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (handle == INVALID_SOCKET) {
    std::snprintf(error, errorCapacity, "cannot open a UDP socket (error %d)", ::WSAGetLastError());
    ::WSACleanup();
    return false;
  }
  sender.handle = static_cast<std::uintptr_t>(handle);
  return true;
}

bool SendDatagram(const UdpSender& sender, const void* bytes, std::size_t length) {
  for (;;) {
    const int sent =
        ::sendto(static_cast<SOCKET>(sender.handle), static_cast<const char*>(bytes),
                 static_cast<int>(length), 0, reinterpret_cast<const sockaddr*>(sender.destination),
                 sizeof sender.destination);
    if (sent != SOCKET_ERROR) {
      return true;
    }
    // A momentarily full send queue is no reason to stop a stream.
    if (::WSAGetLastError() != WSAENOBUFS && ::WSAGetLastError() != WSAEWOULDBLOCK) {
      return false;
    }
  }
}

void CloseUdpSender(UdpSender& sender) {
  ::closesocket(static_cast<SOCKET>(sender.handle));
  ::WSACleanup();
}

}  // namespace joywire
