#include "platform/udp_sender.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <cstring>

#include "platform/ipv4_destination.h"

namespace joywire {

bool OpenUdpSender(const char* host, std::uint16_t port, UdpSender& sender, char* error,
                   std::size_t errorCapacity) {
  WSADATA data;
  if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) {
    std::snprintf(error, errorCapacity, "cannot start Windows Sockets");
    return false;
  }
  if (const int resolved = ResolveIpv4(host, port, sender.destination); resolved != 0) {
    std::snprintf(error, errorCapacity, "cannot resolve host '%s' (error %d)", host, resolved);
    ::WSACleanup();
    return false;
  }
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

std::size_t ReceiveSentBack(const UdpSender&, void*, std::size_t) {
  return 0;
}

std::uintptr_t DuplicateUdpSender(const UdpSender&) {
  return ~std::uintptr_t{0};
}

}  // namespace joywire
