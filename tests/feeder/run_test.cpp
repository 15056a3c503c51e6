// The whole run, driven in-process through the scripted platform.
#include <gtest/gtest.h>

#include "control/record_tail.h"
#include "feeder/run.h"
#include "tests/feeder/scripted_platform.h"

namespace joywire::testing {
namespace {

constexpr char kIdentification[] = "Vendor: Maker\nProduct :Stick\nVersion Number:2.1.9\n";
constexpr char kPrompt[] =
    "Please enter valid Ipv4 adress of your machine or press enter to use default one";

std::vector<std::uint8_t> SampleDatagram() {
  return {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0xBF, 0x00, 0x00,
          0x80, 0x3F, 0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x00, 0x00};
}

void ExpectPosition(const RecordedUpdate& update, std::int32_t x, std::int32_t y, std::int32_t z,
                    std::int32_t buttons) {
  EXPECT_EQ(update.position.x, x);
  EXPECT_EQ(update.position.y, y);
  EXPECT_EQ(update.position.z, z);
  EXPECT_EQ(update.position.buttons, buttons);
}

TEST(WholeRun, DefaultAddressOneDatagramThenFailedReceive) {
  const Platform platform = MakeScriptedPlatform();
  Script& script = CurrentScript();
  script.input = "\n";
  script.lastError = 10054;
  script.receives = {{20, SampleDatagram()}, {kSocketError, {}}};

  const int status = RunScripted(platform);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(script.output, std::string("TEST\n") + kIdentification + kPrompt +
                               "Using hardcoded ip address\n"
                               "IP address for connection is 192.168.1.100\n"
                               "WSAStartUp Success\n"
                               "Socket3 Creation Success\n"
                               "init complete\n"
                               "Receiving failed & Error No ->10054\n"
                               "Socket3 Closing Success\n"
                               "WSA Cleanup Success\n");
  ASSERT_EQ(script.updates.size(), 2u);
  ExpectPosition(script.updates[0], 16383, 0, 0, 0);
  ExpectPosition(script.updates[1], 16383, 0, 32767, 1);
  EXPECT_EQ(script.updates[1].device, 1u);
  EXPECT_EQ(script.updates[1].index, 1);
  EXPECT_EQ(script.pauses, 1);
  EXPECT_EQ(script.convertedAddress, "192.168.1.100");
  EXPECT_EQ(script.boundAddress.family, kAddressFamilyIPv4);
  EXPECT_EQ(script.boundAddress.port, 0x50C3);  // 50000 in network byte order
  EXPECT_EQ(script.boundAddress.address, 0x0100007Fu);
}

TEST(WholeRun, StepsHappenInOrder) {
  const Platform platform = MakeScriptedPlatform();
  Script& script = CurrentScript();
  script.input = "127.0.0.1\n";
  script.receives = {{20, SampleDatagram()}};
  RunScripted(platform);
  const std::vector<std::string> expected = {"vJoyEnabled",
                                             "GetvJoySerialNumberString",
                                             "GetvJoyProductString",
                                             "GetvJoyManufacturerString",
                                             "GetVJDStatus",
                                             "AcquireVJD",
                                             "WSAStartup",
                                             "socket",
                                             "bind",
                                             "UpdateVJD",
                                             "Sleep",
                                             "recvfrom",
                                             "UpdateVJD",
                                             "recvfrom",
                                             "closesocket",
                                             "WSACleanup",
                                             "pause"};
  EXPECT_EQ(script.calls, expected);
  EXPECT_EQ(script.sleeps, std::vector<std::uint32_t>{1000});
  EXPECT_EQ(script.convertedAddress, "127.0.0.1");
}

TEST(WholeRun, EveryDatagramIsOneUpdateInArrivalOrder) {
  const Platform platform = MakeScriptedPlatform();
  Script& script = CurrentScript();
  // X values and their axis values, worked out by hand.
  const float sent[8] = {-1.0f, -0.5f, 0.0f, 0.5f, 1.0f, 0.3f, -0.7f, 0.001f};
  const std::int32_t expected[8] = {0, 8191, 16383, 24575, 32767, 21298, 4915, 16399};
  for (int i = 0; i < 48; ++i) {
    script.receives.push_back({20, Datagram(sent[i % 8], 0, 0, 0, 0)});
  }
  RunScripted(platform);
  ASSERT_EQ(script.updates.size(), 49u);
  for (int i = 0; i < 48; ++i) {
    EXPECT_EQ(script.updates[i + 1].position.x, expected[i % 8]) << i;
  }
}

TEST(WholeRun, ShortAndEmptyDatagramsAreIgnored) {
  const Platform platform = MakeScriptedPlatform();
  Script& script = CurrentScript();
  script.receives = {{20, Datagram(1, 1, 1, 0, 1)},
                     {0, {}},
                     {7, {1, 2, 3, 4, 5, 6, 7}},
                     {19, std::vector<std::uint8_t>(19, 0x41)},
                     {20, Datagram(-1, -1, -1, 1, 0)}};
  EXPECT_EQ(RunScripted(platform), 0);
  ASSERT_EQ(script.updates.size(), 3u);
  ExpectPosition(script.updates[1], 32767, 32767, 32767, 2);
  ExpectPosition(script.updates[2], 0, 0, 0, 1);
}

TEST(WholeRun, ALongerRecordsButtonsComeFromItsMaskAndAnyOtherTailIsIgnored) {
  Platform platform = MakeScriptedPlatform();
  Script& script = CurrentScript();
  platform.SetExtraControls = [](const ExtraControls& e) { CurrentScript().extras.push_back(e); };
  // 1 and 2 in the head (none); the mask's 1, 2, 32, hat 2, axes 1 -1 0.5 NaN; then another tag,
  // version or length.
  auto record = Datagram(1, -1, 0, 1, 1);
  record.insert(record.end(),
                {0x4A, 0x57, 0x78, 0x31, 1,    2,    0, 0, 0x03, 0,    0, 0x80, 0,    0,
                 0x80, 0x3F, 0,    0,    0x80, 0xBF, 0, 0, 0,    0x3F, 0, 0,    0xC0, 0x7F});
  record.resize(kLongRecordSize);
  for (const std::size_t spoil : {0, 20, 24, 55, 57, 100}) {
    auto bytes = record;
    spoil == 20 || spoil == 24 ? void(bytes[spoil] ^= 1) : bytes.resize(spoil ? spoil : 56);
    script.receives.push_back({int(bytes.size()), bytes});
  }
  RunScripted(platform);
  ASSERT_EQ(script.updates.size(), 7u);
  for (int i = 1; i < 7; ++i) {
    ExpectPosition(script.updates[i], 32767, 0, 16383, i == 1 ? std::int32_t(0x80000003u) : 0);
    const ExtraControls& e = script.extras[i];
    const auto want = i == 1 ? std::vector<int>{32767, 0, 24575, 16383, 16383, 16383, 2}
                             : std::vector<int>{16383, 16383, 0, 16383, 16383, 16383, 0};
    EXPECT_EQ(std::vector<int>(e.axes, e.axes + 6), std::vector<int>(want.begin(), want.end() - 1));
    EXPECT_EQ(e.hat, want[6]);
    EXPECT_EQ(e.atRest, false);
  }
  EXPECT_TRUE(script.extras[0].atRest);  // before the first datagram: the device's own rest
}

TEST(WholeRun, FailedUpdateReacquiresOnceAndTearsDown) {
  const Platform platform = MakeScriptedPlatform();
  Script& script = CurrentScript();
  script.input = "\n";
  script.updatesBeforeFailure = 2;  // the rest position and one datagram go through
  script.receives = {{20, SampleDatagram()}, {20, SampleDatagram()}, {20, SampleDatagram()}};
  EXPECT_EQ(RunScripted(platform, {"4"}), 0);
  const std::string& out = script.output;
  const std::string tail =
      "init complete\n"
      "Feeding vJoy device number 4 failed - try to enable device then press enter\n"
      "Socket3 Closing Success\n"
      "WSA Cleanup Success\n";
  ASSERT_GE(out.size(), tail.size());
  EXPECT_EQ(out.substr(out.size() - tail.size()), tail);
  EXPECT_EQ(script.updates.size(), 3u);
  EXPECT_EQ(script.acquisitions, (std::vector<std::uint32_t>{4, 4}));
  EXPECT_EQ(script.pauses, 1);
}

TEST(NetworkSetUp, FailuresArePrintedAndTheRunGoesOn) {
  const Platform platform = MakeScriptedPlatform();
  Script& script = CurrentScript();
  script.startupResult = 10091;
  script.socketResult = kInvalidSocket;
  script.bindResult = kSocketError;
  script.closeResult = kSocketError;
  script.cleanupResult = kSocketError;
  script.lastError = 10093;
  script.receives = {{kSocketError, {}}};
  EXPECT_EQ(RunScripted(platform), kExitNoListeningSocket);
  const std::string expected =
      "WSAStartUp Fun Failed!\n"
      "Socket3 reation Failed = 10093\n"
      "Binding Failed & Error No ->10093\n"
      "init complete\n"
      "Receiving failed & Error No ->10093\n"
      "Socket3 Closing failed & Error No ->10093\n"
      "WSA Cleanup Failed\n";
  const std::string& out = script.output;
  ASSERT_NE(out.find("IP address for connection is"), std::string::npos);
  EXPECT_EQ(out.substr(out.find("WSAStartUp")), expected);
  ASSERT_EQ(script.updates.size(), 1u);  // the rest position still goes out
  EXPECT_EQ(script.pauses, 1);
}

TEST(NetworkSetUp, BindFailureAloneStillReachesTheFeedLoop) {
  const Platform platform = MakeScriptedPlatform();
  Script& script = CurrentScript();
  script.input = "10.1.2.3\n";
  script.bindResult = kSocketError;
  script.lastError = 10049;
  script.receives = {{kSocketError, {}}};
  EXPECT_EQ(RunScripted(platform), kExitNoListeningSocket);
  EXPECT_NE(script.output.find("Socket3 Creation Success\nBinding Failed & Error No ->10049\n"
                               "init complete\nReceiving failed"),
            std::string::npos);
  EXPECT_EQ(script.convertedAddress, "10.1.2.3");
}

struct EarlyEnd {
  const char* name;
  int enabled;
  int status;
  int acquire;
  int exitStatus;
  bool identification;
  std::size_t charactersRead;
};

class EarlyEnds : public ::testing::TestWithParam<EarlyEnd> {};

TEST_P(EarlyEnds, EndBeforeAnySocketWithTheirStatus) {
  const EarlyEnd& end = GetParam();
  const Platform platform = MakeScriptedPlatform();
  Script& script = CurrentScript();
  script.enabled = end.enabled;
  script.status = end.status;
  script.acquireResults = {end.acquire};
  script.input = "xyz\n";
  EXPECT_EQ(RunScripted(platform), end.exitStatus);
  EXPECT_EQ(script.output,
            end.identification ? std::string("TEST\n") + kIdentification : std::string("TEST\n"));
  EXPECT_EQ(script.inputRead, end.charactersRead);
  EXPECT_EQ(script.pauses, 0);
  EXPECT_TRUE(script.updates.empty());
  for (const std::string& call : script.calls) {
    EXPECT_NE(call, "WSAStartup");
    EXPECT_NE(call, "socket");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Run, EarlyEnds,
    ::testing::Values(EarlyEnd{"NotEnabled", 0, kDeviceFree, 1, -5, false, 1},
                      EarlyEnd{"Busy", 1, kDeviceBusy, 1, -3, true, 0},
                      EarlyEnd{"Missing", 1, kDeviceMissing, 1, -4, true, 0},
                      EarlyEnd{"UnknownStatus", 1, 4, 1, -1, true, 0},
                      EarlyEnd{"NegativeStatus", 1, -1, 1, -1, true, 0},
                      EarlyEnd{"AcquireFails", 1, kDeviceFree, 0, -100, true, 1}),
    [](const ::testing::TestParamInfo<EarlyEnd>& info) { return info.param.name; });

TEST(DeviceStatus, OwnedAlreadyGoesOn) {
  const Platform platform = MakeScriptedPlatform();
  CurrentScript().status = kDeviceOwned;
  EXPECT_EQ(RunScripted(platform), 0);
  EXPECT_EQ(CurrentScript().acquisitions.size(), 1u);
}

TEST(DeviceNumberArgument, ZeroOrNoDigitsEndsWithMinus100) {
  struct Case {
    const char* argument;
    const char* remainder;
  };
  const std::string longText(600, 'x');  // longer than any line buffer: still whole
  for (const Case& c : {Case{"abc", "abc"}, Case{"0", ""}, Case{"0x12", "x12"}, Case{" -", " -"},
                        Case{"", ""}, Case{longText.c_str(), longText.c_str()}}) {
    const Platform platform = MakeScriptedPlatform();
    EXPECT_EQ(RunScripted(platform, {c.argument}), -100) << c.argument;
    EXPECT_EQ(CurrentScript().output,
              std::string("TEST\nStringova cast: ") + c.remainder + " \nSpatny vstup terminalu\n");
    EXPECT_TRUE(CurrentScript().calls.empty()) << "no driver call before the argument check";
  }
}

TEST(DeviceNumberArgument, ReachesTheDriverAsConverted) {
  struct Case {
    std::vector<std::string> arguments;
    std::uint32_t device;
  };
  for (const Case& c : {Case{{}, 1u}, Case{{"2"}, 2u}, Case{{"3abc"}, 3u},
                        Case{{"-2"}, static_cast<std::uint32_t>(-2)}, Case{{" +7", "9"}, 7u},
                        Case{{"99999999999"}, 2147483647u}}) {
    const Platform platform = MakeScriptedPlatform();
    CurrentScript().status = kDeviceMissing;
    EXPECT_EQ(RunScripted(platform, c.arguments), -4);
    ASSERT_EQ(CurrentScript().statusQueries.size(), 1u);
    EXPECT_EQ(CurrentScript().statusQueries[0], c.device);
  }
}

TEST(DeviceNumberArgument, HighNumberKeepsOnlyItsLowByteInTheRecord) {
  const Platform platform = MakeScriptedPlatform();
  Script& script = CurrentScript();
  script.receives = {{20, SampleDatagram()}};
  EXPECT_EQ(RunScripted(platform, {"257"}), 0);
  ASSERT_EQ(script.updates.size(), 2u);
  for (const RecordedUpdate& update : script.updates) {
    EXPECT_EQ(update.device, 257u);
    EXPECT_EQ(update.index, 1);
  }
  EXPECT_EQ(script.statusQueries, std::vector<std::uint32_t>{257});
  EXPECT_EQ(script.acquisitions, std::vector<std::uint32_t>{257});
}

TEST(Identification, WideStringsPrintAsUtf8AndMissingOnesAsEmpty) {
  const Platform platform = MakeScriptedPlatform();
  Script& script = CurrentScript();
  const std::wstring longName(300, L'\u00e9');  // 600 bytes of UTF-8, printed whole
  script.manufacturer = L"Sh\u00e4ul";
  script.product = nullptr;
  script.serial = longName.c_str();
  script.status = kDeviceBusy;
  EXPECT_EQ(RunScripted(platform), -3);
  std::string longUtf8;
  for (int i = 0; i < 300; ++i) {
    longUtf8 += "\xC3\xA9";
  }
  EXPECT_EQ(script.output,
            "TEST\nVendor: Sh\xC3\xA4ul\nProduct :\nVersion Number:" + longUtf8 + "\n");
}

}  // namespace
}  // namespace joywire::testing
