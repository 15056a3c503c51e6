#pragma once

#include <cstdint>

#include "address/console.h"
#include "control/position_record.h"
#include "control/record_tail.h"

namespace joywire {

// The one seam between the run and the machine. Operations keep the names of the driver
// library and of Windows Sockets, so the run reads like the program it is on Windows; each
// platform folder fills in its share, and tests fill in all of it with scripted results.

using SocketHandle = std::uintptr_t;
inline constexpr SocketHandle kInvalidSocket = ~SocketHandle{0};
inline constexpr int kSocketError = -1;

inline constexpr int kAddressFamilyIPv4 = 2;
inline constexpr int kSocketTypeDatagram = 2;
inline constexpr int kProtocolUdp = 17;
inline constexpr std::uint16_t kWinsockVersion22 = 0x0202;

// Laid out like the socket layer's own IPv4 address record (16 bytes); address and port are
// in network byte order.
struct SocketAddressV4 {
  std::uint16_t family;
  std::uint16_t port;
  std::uint32_t address;
  std::uint8_t zero[8];
};
static_assert(sizeof(SocketAddressV4) == 16);

// Device status values.
inline constexpr int kDeviceOwned = 0;
inline constexpr int kDeviceFree = 1;
inline constexpr int kDeviceBusy = 2;
inline constexpr int kDeviceMissing = 3;
// Any other value is unknown, and the run ends with -1; a driver that can tell neither free nor
// busy says so with this one.
inline constexpr int kStatusUnknown = 4;

struct Platform {
  // Virtual joystick driver. Yes-or-no calls return zero for no.
  int (*vJoyEnabled)();
  const wchar_t* (*GetvJoyManufacturerString)();
  const wchar_t* (*GetvJoyProductString)();
  const wchar_t* (*GetvJoySerialNumberString)();
  int (*GetVJDStatus)(std::uint32_t device);
  int (*AcquireVJD)(std::uint32_t device);
  int (*UpdateVJD)(std::uint32_t device, PositionRecord* record);
  // Not the driver library's: the controls the record does not carry (a longer record's other
  // axes and its hat), shown with the next UpdateVJD. Null where the device has none, so that
  // nothing is written where the driver's record layout is not known.
  void (*SetExtraControls)(const ExtraControls& controls);

  // Socket layer. Failures are kSocketError (kInvalidSocket for socket), with the reason in
  // WSAGetLastError. recvfrom returns the datagram's length, at most `length`, and never
  // reports a datagram longer than the buffer as a failure.
  int (*WSAStartup)(std::uint16_t version);
  int (*WSACleanup)();
  SocketHandle (*socket)(int family, int type, int protocol);
  int (*bind)(SocketHandle socket, const SocketAddressV4* address, int length);
  int (*recvfrom)(SocketHandle socket, char* buffer, int length, int flags);
  int (*closesocket)(SocketHandle socket);
  int (*WSAGetLastError)();
  std::uint32_t (*inet_addr)(const char* text);
  std::uint16_t (*htons)(std::uint16_t value);

  void (*Sleep)(std::uint32_t milliseconds);

  Console console;
};

// Link-time choices of one executable: the host's sockets, console and clock, and the driver
// the feeder talks to. Each platform folder defines one of each it offers.
void InstallHostServices(Platform& platform);
void InstallDriver(Platform& platform);

// The command line as UTF-8 text. A host that hands it over in another encoding converts it
// here, once, into storage of its own; elsewhere it is left as it is.
void HostArguments(int& argc, const char* const*& argv);

}  // namespace joywire
