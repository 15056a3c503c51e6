#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "control/position_record.h"
#include "feeder/platform.h"

namespace joywire::testing {

// One scripted result of recvfrom: the value it returns and the bytes it delivers.
struct ScriptedReceive {
  int result;
  std::vector<std::uint8_t> bytes;
};

struct RecordedUpdate {
  std::uint32_t device;
  std::uint8_t index;
  JoystickPosition position;
};

// What the scripted platform answers, and what it saw. Reset by MakeScriptedPlatform.
struct Script {
  // Driver.
  int enabled = 1;
  const wchar_t* manufacturer = L"Maker";
  const wchar_t* product = L"Stick";
  const wchar_t* serial = L"2.1.9";
  int status = kDeviceFree;
  std::vector<int> acquireResults;  // consumed in order; 1 once exhausted
  int updatesBeforeFailure = -1;    // -1: never fails
  bool restUpdateFails = false;     // the first update (the rest position) fails
  // Socket layer.
  int startupResult = 0;
  SocketHandle socketResult = 7;
  int bindResult = 0;
  std::vector<ScriptedReceive> receives;  // consumed in order; then a failure with 10004
  int closeResult = 0;
  int cleanupResult = 0;
  int lastError = 0;
  // Console.
  std::string input;

  // Seen.
  std::string output;
  std::size_t inputRead = 0;
  int pauses = 0;
  std::vector<std::string> calls;  // operation names in call order
  std::vector<std::uint32_t> statusQueries;
  std::vector<std::uint32_t> acquisitions;
  std::vector<RecordedUpdate> updates;
  std::vector<ExtraControls> extras;  // when the test installs SetExtraControls
  std::string convertedAddress;
  SocketAddressV4 boundAddress{};
  std::vector<std::uint32_t> sleeps;
};

// The live script: tests fill it after MakeScriptedPlatform and read it after the run.
Script& CurrentScript();

// A platform whose every operation answers from CurrentScript(); resets the script.
Platform MakeScriptedPlatform();

// Runs the feeder with the given arguments (the program name is added).
int RunScripted(const Platform& platform, std::vector<std::string> arguments = {});

// A 20-byte datagram from five values.
std::vector<std::uint8_t> Datagram(float x, float y, float z, float b1, float b2);

}  // namespace joywire::testing
