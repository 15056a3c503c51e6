// Windows Sockets operations on a POSIX socket layer.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>

#include "platform/posix/posix_host.h"

namespace joywire {

namespace {

int g_lastError = 0;

// A socket whose bind failed can never receive; Winsock fails a receive on it at once, while
// POSIX would block forever. Remember it and fail the receive the Winsock way.
int g_unboundSocket = -1;

// The last datagram's sender, kept at no cost: the same call fills it in.
sockaddr_in g_lastSender{};
bool g_senderKnown = false;

int Fail(int error) {
  g_lastError = error;
  return kSocketError;
}

int PosixStartup(std::uint16_t) {
  return 0;
}
int PosixCleanup() {
  return 0;
}

SocketHandle PosixSocket(int family, int type, int protocol) {
  const int domain = family == kAddressFamilyIPv4 ? AF_INET : family;
  const int kind = type == kSocketTypeDatagram ? SOCK_DGRAM : type;
  const int proto = protocol == kProtocolUdp ? IPPROTO_UDP : protocol;
  const int fd = ::socket(domain, kind | SOCK_CLOEXEC, proto);
  if (fd < 0) {
    g_lastError = errno;
    return kInvalidSocket;
  }
  return static_cast<SocketHandle>(fd);
}

int ToDescriptor(SocketHandle handle) {
  return handle == kInvalidSocket ? -1 : static_cast<int>(handle);
}

int PosixBind(SocketHandle handle, const SocketAddressV4* address, int) {
  sockaddr_in native{};
  native.sin_family = AF_INET;
  native.sin_port = address->port;
  native.sin_addr.s_addr = address->address;
  const int fd = ToDescriptor(handle);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&native), sizeof native) != 0) {
    g_unboundSocket = fd;
    return Fail(errno);
  }
  if (fd == g_unboundSocket) {
    g_unboundSocket = -1;  // bound after all: it receives like any other
  }
  return 0;
}

int PosixReceive(SocketHandle handle, char* buffer, int length, int flags) {
  const int fd = ToDescriptor(handle);
  if (fd >= 0 && fd == g_unboundSocket) {
    return Fail(EINVAL);
  }
  for (;;) {
    // A longer datagram is cut to the buffer and counts as received.
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    const ssize_t received = ::recvfrom(fd, buffer, static_cast<std::size_t>(length), flags,
                                        reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (received >= 0) {
      if (from.sin_family == AF_INET) {
        g_lastSender = from;
        g_senderKnown = true;
      }
      return static_cast<int>(received);
    }
    if (errno != EINTR) {
      return Fail(errno);
    }
  }
}

int PosixClose(SocketHandle handle) {
  const int fd = ToDescriptor(handle);
  if (fd == g_unboundSocket) {
    g_unboundSocket = -1;
  }
  if (::close(fd) != 0) {
    return Fail(errno);
  }
  return 0;
}

int PosixLastError() {
  return g_lastError;
}
std::uint32_t PosixInetAddr(const char* text) {
  return ::inet_addr(text);
}
std::uint16_t PosixHtons(std::uint16_t value) {
  return htons(value);
}

}  // namespace

bool LastSender(SocketAddressV4& address) {
  if (!g_senderKnown) {
    return false;
  }
  address = SocketAddressV4{static_cast<std::uint16_t>(g_lastSender.sin_family),
                            g_lastSender.sin_port,
                            g_lastSender.sin_addr.s_addr,
                            {}};
  return true;
}

void InstallPosixSockets(Platform& platform) {
  platform.WSAStartup = PosixStartup;
  platform.WSACleanup = PosixCleanup;
  platform.socket = PosixSocket;
  platform.bind = PosixBind;
  platform.recvfrom = PosixReceive;
  platform.closesocket = PosixClose;
  platform.WSAGetLastError = PosixLastError;
  platform.inet_addr = PosixInetAddr;
  platform.htons = PosixHtons;
}

}  // namespace joywire
