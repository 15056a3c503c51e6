#pragma once

// The one step both socket layers take alike: a host (dotted IPv4 or a name) and a port as the
// socket layer's IPv4 address record.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <cstdint>
#include <cstring>

namespace joywire {

// 0, or getaddrinfo's error (EAI_NONAME where it finds nothing).
inline int ResolveIpv4(const char* host, std::uint16_t port, unsigned char (&destination)[16]) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  const int resolved = ::getaddrinfo(host, nullptr, &hints, &found);
  if (resolved != 0 || found == nullptr) {
    return resolved != 0 ? resolved : EAI_NONAME;
  }
  sockaddr_in address{};
  std::memcpy(&address, found->ai_addr, sizeof address);
  ::freeaddrinfo(found);
  address.sin_port = htons(port);
  static_assert(sizeof address == sizeof destination);
  std::memcpy(destination, &address, sizeof address);
  return 0;
}

}  // namespace joywire
