#include "tests/feeder/scripted_platform.h"

#include <algorithm>
#include <cstring>

#include "control/control_packet.h"
#include "feeder/run.h"

namespace joywire::testing {

namespace {

Script g_script;
std::size_t g_acquireIndex = 0;
std::size_t g_receiveIndex = 0;
constexpr int kInterruptedError = 10004;

Script& S() {
  return g_script;
}

int Acquire(std::uint32_t device) {
  S().calls.push_back("AcquireVJD");
  S().acquisitions.push_back(device);
  if (g_acquireIndex < S().acquireResults.size()) {
    return S().acquireResults[g_acquireIndex++];
  }
  return 1;
}

int Update(std::uint32_t device, PositionRecord* record) {
  S().calls.push_back("UpdateVJD");
  S().updates.push_back(RecordedUpdate{device, ReadDeviceIndex(*record), ReadPosition(*record)});
  if (S().restUpdateFails && S().updates.size() == 1) {
    return 0;
  }
  const int limit = S().updatesBeforeFailure;
  return limit < 0 || static_cast<int>(S().updates.size()) <= limit ? 1 : 0;
}

int Receive(SocketHandle, char* buffer, int length, int) {
  S().calls.push_back("recvfrom");
  if (g_receiveIndex >= S().receives.size()) {
    S().lastError = kInterruptedError;
    return kSocketError;
  }
  const ScriptedReceive& next = S().receives[g_receiveIndex++];
  const std::size_t count = std::min(next.bytes.size(), static_cast<std::size_t>(length));
  if (count > 0) {
    std::memcpy(buffer, next.bytes.data(), count);
  }
  return std::min(next.result, length);  // as a socket layer cuts a longer datagram
}

int ReadChar() {
  if (S().inputRead >= S().input.size()) {
    return kEndOfInput;
  }
  return static_cast<unsigned char>(S().input[S().inputRead++]);
}

}  // namespace

Script& CurrentScript() {
  return g_script;
}

Platform MakeScriptedPlatform() {
  g_script = Script{};
  g_acquireIndex = 0;
  g_receiveIndex = 0;
  Platform p{};
  p.vJoyEnabled = [] {
    S().calls.push_back("vJoyEnabled");
    return S().enabled;
  };
  p.GetvJoyManufacturerString = [] {
    S().calls.push_back("GetvJoyManufacturerString");
    return S().manufacturer;
  };
  p.GetvJoyProductString = [] {
    S().calls.push_back("GetvJoyProductString");
    return S().product;
  };
  p.GetvJoySerialNumberString = [] {
    S().calls.push_back("GetvJoySerialNumberString");
    return S().serial;
  };
  p.GetVJDStatus = [](std::uint32_t device) {
    S().calls.push_back("GetVJDStatus");
    S().statusQueries.push_back(device);
    return S().status;
  };
  p.AcquireVJD = Acquire;
  p.UpdateVJD = Update;
  p.WSAStartup = [](std::uint16_t version) {
    S().calls.push_back(version == kWinsockVersion22 ? "WSAStartup" : "WSAStartup(bad version)");
    return S().startupResult;
  };
  p.WSACleanup = [] {
    S().calls.push_back("WSACleanup");
    return S().cleanupResult;
  };
  p.socket = [](int family, int type, int protocol) {
    const bool udp =
        family == kAddressFamilyIPv4 && type == kSocketTypeDatagram && protocol == kProtocolUdp;
    S().calls.push_back(udp ? "socket" : "socket(not IPv4 UDP)");
    return S().socketResult;
  };
  p.bind = [](SocketHandle, const SocketAddressV4* address, int length) {
    S().calls.push_back(length == 16 ? "bind" : "bind(bad length)");
    S().boundAddress = *address;
    return S().bindResult;
  };
  p.recvfrom = Receive;
  p.closesocket = [](SocketHandle) {
    S().calls.push_back("closesocket");
    return S().closeResult;
  };
  p.WSAGetLastError = [] { return S().lastError; };
  p.inet_addr = [](const char* text) {
    S().convertedAddress = text;
    return std::uint32_t{0x0100007F};
  };
  p.htons = [](std::uint16_t value) {
    return static_cast<std::uint16_t>((value >> 8) | (value << 8));
  };
  p.Sleep = [](std::uint32_t milliseconds) {
    S().calls.push_back("Sleep");
    S().sleeps.push_back(milliseconds);
  };
  p.console.ReadChar = ReadChar;
  p.console.Write = [](const char* text, std::size_t length) { S().output.append(text, length); };
  p.console.Pause = [] {
    S().calls.push_back("pause");
    ++S().pauses;
  };
  return p;
}

int RunScripted(const Platform& platform, std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), "joywire");
  std::vector<const char*> argv;
  for (const std::string& argument : arguments) {
    argv.push_back(argument.c_str());
  }
  argv.push_back(nullptr);
  return RunFeeder(static_cast<int>(arguments.size()), argv.data(), platform);
}

std::vector<std::uint8_t> Datagram(float x, float y, float z, float b1, float b2) {
  ControlPacket packet{};
  const float values[5] = {x, y, z, b1, b2};
  for (std::size_t i = 0; i < 5; ++i) {
    WritePacketValue(packet, i, values[i]);
  }
  return std::vector<std::uint8_t>(packet.bytes, packet.bytes + sizeof packet.bytes);
}

}  // namespace joywire::testing
