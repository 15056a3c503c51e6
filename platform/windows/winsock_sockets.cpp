// Windows Sockets 2, as the run uses it.
#include <winsock2.h>

#include "platform/terminal.h"
#include "platform/windows/windows_host.h"

namespace joywire {

namespace {

// Winsock fails a receive on a socket whose bind failed with WSAEINVAL at once; not every
// implementation does (some block for ever), so remember the socket and fail it ourselves.
SocketHandle g_unboundSocket = kInvalidSocket;

int WinsockStartup(std::uint16_t version) {
  WSADATA data;
  return ::WSAStartup(version, &data);
}

int WinsockCleanup() {
  return ::WSACleanup();
}

SocketHandle WinsockSocket(int family, int type, int protocol) {
  const SOCKET handle = ::socket(family, type, protocol);
  return handle == INVALID_SOCKET ? kInvalidSocket : static_cast<SocketHandle>(handle);
}

int WinsockBind(SocketHandle handle, const SocketAddressV4* address, int length) {
  sockaddr_in native{};
  native.sin_family = AF_INET;
  native.sin_port = address->port;
  native.sin_addr.s_addr = address->address;
  static_assert(sizeof native == sizeof *address);
  if (::bind(static_cast<SOCKET>(handle), reinterpret_cast<const sockaddr*>(&native), length) ==
      SOCKET_ERROR) {
    g_unboundSocket = handle;
    return kSocketError;
  }
  if (handle == g_unboundSocket) {
    g_unboundSocket = kInvalidSocket;  // bound after all: it receives like any other
  }
  return 0;
}

int WinsockReceive(SocketHandle handle, char* buffer, int length, int flags) {
  if (handle != kInvalidSocket && handle == g_unboundSocket) {
    ::WSASetLastError(WSAEINVAL);
    return kSocketError;
  }
  const int received =
      ::recvfrom(static_cast<SOCKET>(handle), buffer, length, flags, nullptr, nullptr);
  if (received == SOCKET_ERROR && ::WSAGetLastError() == WSAEMSGSIZE) {
    // Longer than the buffer: Winsock filled the buffer and dropped the rest. The datagram
    // was received; one oversize packet must not stop the feeder.
    return length;
  }
  return received;
}

int WinsockClose(SocketHandle handle) {
  if (handle == g_unboundSocket) {
    g_unboundSocket = kInvalidSocket;
  }
  return ::closesocket(static_cast<SOCKET>(handle));
}

int WinsockLastError() {
  return ::WSAGetLastError();
}
std::uint32_t WinsockInetAddr(const char* text) {
  return ::inet_addr(text);
}
std::uint16_t WinsockHtons(std::uint16_t value) {
  return ::htons(value);
}

}  // namespace

bool WaitForDatagram(SocketHandle socket, int milliseconds) {
  WSAPOLLFD ready{static_cast<SOCKET>(socket), POLLRDNORM, 0};
  return ::WSAPoll(&ready, 1, milliseconds) != 0;
}

void InstallWinsock(Platform& platform) {
  platform.WSAStartup = WinsockStartup;
  platform.WSACleanup = WinsockCleanup;
  platform.socket = WinsockSocket;
  platform.bind = WinsockBind;
  platform.recvfrom = WinsockReceive;
  platform.closesocket = WinsockClose;
  platform.WSAGetLastError = WinsockLastError;
  platform.inet_addr = WinsockInetAddr;
  platform.htons = WinsockHtons;
}

}  // namespace joywire
