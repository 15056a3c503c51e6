#include "feeder/run.h"

#include "address/listen_address.h"
#include "control/datagram.h"
#include "feeder/device_number.h"
#include "feeder/wide_text.h"

namespace joywire {

namespace {

void PrintIdentification(const Platform& platform) {
  // Fetched in this order; shown manufacturer, product, then serial number, each whole.
  const wchar_t* serial = platform.GetvJoySerialNumberString();
  const wchar_t* product = platform.GetvJoyProductString();
  const wchar_t* manufacturer = platform.GetvJoyManufacturerString();
  ConsoleWriter line(platform.console);
  line.PutText("Vendor: ");
  PutWideText(line, manufacturer);
  line.PutText("\nProduct :");
  PutWideText(line, product);
  line.PutText("\nVersion Number:");
  PutWideText(line, serial);
  line.Put('\n');
}

// The early ends before any socket exists; 0 means go on.
int CheckAndAcquireDevice(const Platform& platform, std::int32_t deviceNumber) {
  const auto device = static_cast<std::uint32_t>(deviceNumber);
  if (platform.vJoyEnabled() == 0) {
    platform.console.ReadChar();
    return kExitDriverNotEnabled;
  }
  PrintIdentification(platform);
  const int status = platform.GetVJDStatus(device);
  if (status == kDeviceBusy) {
    return kExitDeviceBusy;
  }
  if (status == kDeviceMissing) {
    return kExitDeviceMissing;
  }
  if (status != kDeviceOwned && status != kDeviceFree) {
    return kExitUnknownStatus;
  }
  if (platform.AcquireVJD(device) == 0) {
    platform.console.ReadChar();
    return kExitBadArgumentOrAcquire;
  }
  return 0;
}

// The socket, and whether it can receive: made and bound.
SocketHandle OpenListeningSocket(const Platform& platform, const ListenAddress& address,
                                 bool& listening) {
  if (platform.WSAStartup(kWinsockVersion22) != 0) {
    Print(platform.console, "WSAStartUp Fun Failed!\n");
  } else {
    Print(platform.console, "WSAStartUp Success\n");
  }
  SocketAddressV4 endpoint{};
  endpoint.family = kAddressFamilyIPv4;
  endpoint.address = platform.inet_addr(address.text);
  endpoint.port = platform.htons(kListenPort);

  const SocketHandle listener =
      platform.socket(kAddressFamilyIPv4, kSocketTypeDatagram, kProtocolUdp);
  if (listener == kInvalidSocket) {
    Print(platform.console, "Socket3 reation Failed = %d\n", platform.WSAGetLastError());
  } else {
    Print(platform.console, "Socket3 Creation Success\n");
  }
  listening = listener != kInvalidSocket;
  if (platform.bind(listener, &endpoint, sizeof endpoint) == kSocketError) {
    Print(platform.console, "Binding Failed & Error No ->%d\n", platform.WSAGetLastError());
    listening = false;
  }
  return listener;
}

// One update per datagram of at least a whole packet (a longer record's tail used where it is
// one), until a receive or an update fails.
void FeedLoop(const Platform& platform, SocketHandle listener, std::int32_t deviceNumber,
              PositionRecord& record) {
  const auto device = static_cast<std::uint32_t>(deviceNumber);
  ReceiveBuffer buffer{};
  ExtraControls extras = kRestExtraControls;
  ExtraControls* const shown = platform.SetExtraControls != nullptr ? &extras : nullptr;
  for (;;) {
    const int received =
        platform.recvfrom(listener, reinterpret_cast<char*>(&buffer), sizeof buffer, 0);
    if (received == kSocketError) {
      Print(platform.console, "Receiving failed & Error No ->%d\n", platform.WSAGetLastError());
      return;
    }
    // A short datagram would leave stale, already scaled bytes in the buffer: skip it.
    if (received < static_cast<int>(kControlPacketSize)) {
      continue;
    }
    StorePosition(record, PositionOfDatagram(buffer, static_cast<std::size_t>(received), shown));
    if (shown != nullptr) {
      platform.SetExtraControls(extras);
    }
    if (platform.UpdateVJD(device, &record) == 0) {
      Print(platform.console,
            "Feeding vJoy device number %d failed - try to enable device then press enter\n",
            deviceNumber);
      platform.AcquireVJD(device);
      return;
    }
  }
}

void CloseListeningSocket(const Platform& platform, SocketHandle listener) {
  if (platform.closesocket(listener) == kSocketError) {
    Print(platform.console, "Socket3 Closing failed & Error No ->%d\n", platform.WSAGetLastError());
  } else {
    Print(platform.console, "Socket3 Closing Success\n");
  }
  if (platform.WSACleanup() == kSocketError) {
    Print(platform.console, "WSA Cleanup Failed\n");
  } else {
    Print(platform.console, "WSA Cleanup Success\n");
  }
}

}  // namespace

int RunFeeder(int argc, const char* const* argv, const Platform& platform) {
  Print(platform.console, "TEST\n");

  std::int32_t deviceNumber = kDefaultDeviceNumber;
  if (argc > 1) {
    const DeviceNumberText parsed = ParseDeviceNumber(argv[1]);
    if (parsed.value == 0) {
      Print(platform.console, "Stringova cast: %s \n", parsed.remainder);
      Print(platform.console, "Spatny vstup terminalu\n");
      return kExitBadArgumentOrAcquire;
    }
    deviceNumber = parsed.value;
  }

  if (const int early = CheckAndAcquireDevice(platform, deviceNumber); early != 0) {
    return early;
  }

  ListenAddress address = DefaultListenAddress();
  AskListenAddress(platform.console, address);

  bool listening = false;
  const SocketHandle listener = OpenListeningSocket(platform, address, listening);

  PositionRecord record;
  ResetPositionRecord(record, deviceNumber);
  StorePosition(record, kRestPosition);
  if (platform.SetExtraControls != nullptr) {
    ExtraControls rest = kRestExtraControls;
    rest.atRest = true;
    platform.SetExtraControls(rest);
  }
  platform.UpdateVJD(static_cast<std::uint32_t>(deviceNumber), &record);
  platform.Sleep(kSettleMilliseconds);
  Print(platform.console, "init complete\n");

  FeedLoop(platform, listener, deviceNumber, record);

  CloseListeningSocket(platform, listener);
  platform.console.Pause();
  return listening ? 0 : kExitNoListeningSocket;
}

}  // namespace joywire
