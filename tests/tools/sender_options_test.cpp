#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "control/control_packet.h"
#include "tools/send/send_mode.h"
#include "tools/send/sender_options.h"

namespace joywire {
namespace {

bool Parse(std::vector<const char*> arguments, SenderOptions& options,
           std::string* error = nullptr) {
  arguments.insert(arguments.begin(), "joywire-send");
  char text[256] = "";
  const bool ok = ParseSenderOptions(static_cast<int>(arguments.size()), arguments.data(), options,
                                     text, sizeof text);
  if (error != nullptr) {
    *error = text;
  }
  return ok;
}

TEST(SenderOptions, FiveNumbersSendOneDatagramToTheDefaults) {
  SenderOptions options;
  ASSERT_TRUE(Parse({"0.5", "-1", "1e0", "1", "nan"}, options));
  EXPECT_EQ(options.mode, SendMode::kSingle);
  EXPECT_STREQ(options.host, "127.0.0.1");
  EXPECT_EQ(options.port, 50000);
  EXPECT_EQ(options.size, 20u);
  EXPECT_EQ(options.values[0], 0.5f);
  EXPECT_EQ(options.values[1], -1.0f);
  EXPECT_TRUE(std::isnan(options.values[4]));
}

TEST(SenderOptions, ModesAndTheirSettings) {
  SenderOptions options;
  ASSERT_TRUE(Parse({}, options));
  EXPECT_EQ(options.mode, SendMode::kLines);
  ASSERT_TRUE(Parse({"--demo", "--host", "10.0.0.5", "--port", "6000"}, options));
  EXPECT_EQ(options.mode, SendMode::kDemo);
  EXPECT_EQ(options.rate, 60.0);
  EXPECT_EQ(options.port, 6000);
  EXPECT_STREQ(options.host, "10.0.0.5");
  ASSERT_TRUE(Parse({"--flood", "1000", "--rate", "5000", "--size", "64"}, options));
  EXPECT_EQ(options.mode, SendMode::kFlood);
  EXPECT_EQ(options.count, 1000u);
  EXPECT_EQ(options.rate, 5000.0);
  EXPECT_EQ(options.size, 64u);
  ASSERT_TRUE(Parse({"--flood", "10"}, options));
  EXPECT_EQ(options.rate, 0.0) << "a flood without a rate goes as fast as it can";
  ASSERT_TRUE(Parse({"1", "2", "--help"}, options));
  EXPECT_EQ(options.mode, SendMode::kHelp);
  ASSERT_TRUE(Parse({"--web"}, options));
  EXPECT_EQ(options.mode, SendMode::kWeb);
  EXPECT_EQ(options.webAddress, nullptr) << "every address by default";
  EXPECT_EQ(options.webPort, 8080);
  ASSERT_TRUE(Parse({"--web", "--web-address", "127.0.0.1", "--web-port", "9000"}, options));
  EXPECT_STREQ(options.webAddress, "127.0.0.1");
  EXPECT_EQ(options.webPort, 9000);
  EXPECT_EQ(options.throttleRest, kThrottleStays);
  ASSERT_TRUE(
      Parse({"--web", "--throttle-rest", "centre", "--config-dir", "/x", "--new-token"}, options));
  EXPECT_TRUE(options.throttleRest == 0.0f && options.newToken);
  EXPECT_STREQ(options.configDir, "/x");
  ASSERT_TRUE(Parse({"--forget-ca", "--config-dir", "/x"}, options));
  EXPECT_EQ(options.mode, SendMode::kForgetCa);
  // Player k's feeder: device k's own loopback address, or the k-th of a list.
  char host[256];
  ASSERT_TRUE(Parse({"--web", "--players", "16"}, options));
  PlayerHost(options, 16, host);
  EXPECT_STREQ(host, "127.0.0.16");
  ASSERT_TRUE(Parse({"--web", "--players", "3", "--host", "10.0.0.9,pi.local,10.0.0.7"}, options));
  PlayerHost(options, 2, host);
  EXPECT_STREQ(host, "pi.local");
  PlayerHost(options, 3, host);
  EXPECT_STREQ(host, "10.0.0.7");
  ASSERT_TRUE(Parse({"--web", "--host", "10.0.0.9"}, options));
  PlayerHost(options, 1, host);
  EXPECT_STREQ(host, "10.0.0.9") << "one player: the address as given";
}

TEST(SenderOptions, BadArgumentsAreExplained) {
  SenderOptions options;
  std::string error;
  EXPECT_FALSE(Parse({"1", "2", "3"}, options, &error));
  EXPECT_NE(error.find("five numbers"), std::string::npos);
  EXPECT_FALSE(Parse({"--port", "70000"}, options, &error));
  EXPECT_NE(error.find("--port"), std::string::npos);
  EXPECT_FALSE(Parse({"--demo", "--flood", "3"}, options, &error));
  EXPECT_FALSE(Parse({"--size", "-1"}, options, &error));
  EXPECT_FALSE(Parse({"--bogus"}, options, &error));
  EXPECT_NE(error.find("--bogus"), std::string::npos);
  EXPECT_FALSE(Parse({"1", "2", "3", "4", "5", "6"}, options, &error));
  EXPECT_FALSE(Parse({"--rate", "fast", "--demo"}, options, &error));
  EXPECT_FALSE(Parse({"--web-port", "9000"}, options, &error)) << "only with --web";
  EXPECT_NE(error.find("--web"), std::string::npos);
  for (const char* address :
       {"localhost", "1.2.3", "1.2.3.256", "1.2.3.4.5", "01234.1.1.1", "01.02.03.04"}) {
    EXPECT_FALSE(Parse({"--web", "--web-address", address}, options, &error)) << address;
  }
  for (const char* port : {"1.5", "0x10", "+80", "1e3", " 80", "65536"}) {
    EXPECT_FALSE(Parse({"--web", "--port", port}, options, &error)) << port;
    EXPECT_FALSE(Parse({"--web", "--https", "--http-port", port}, options, &error)) << port;
  }
  EXPECT_FALSE(Parse({"--web", "--http-port", "8081"}, options, &error));
  EXPECT_NE(error.find("--http-port goes with --https"), std::string::npos);
  for (const char* option : {"--https", "--new-token", "--web-address"}) {
    EXPECT_FALSE(Parse({"--pairing", option, "10.0.0.1"}, options, &error)) << option;
  }
  EXPECT_FALSE(Parse({"--web", "--web-port", "0"}, options, &error));
  EXPECT_FALSE(Parse({"--web", "--keys"}, options, &error));
  EXPECT_FALSE(Parse({"--web", "--throttle-rest", "top"}, options, &error));
  EXPECT_FALSE(Parse({"--config-dir", "/x", "--demo"}, options, &error));
  EXPECT_FALSE(Parse({"--forget-ca", "--https"}, options, &error));
  for (const char* ports :
       {"50100", "50131-50100", "-50100", "50100-", "0-5", "1-65536", "1-2-3"}) {
    EXPECT_FALSE(Parse({"--web", "--datagram-ports", ports}, options, &error)) << ports;
  }
  ASSERT_TRUE(Parse({"--web", "--no-datagrams", "--datagram-ports", "9-9"}, options));
  EXPECT_TRUE(!options.webDatagrams && options.datagramPorts[0] == 9 &&
              options.datagramPorts[1] == 9);
  for (const char* players : {"0", "17", "2.5", "two"}) {
    EXPECT_FALSE(Parse({"--web", "--players", players}, options, &error)) << players;
  }
  for (const char* hosts : {"a,b,c", "10.0.0.1,", ",b", "a,,b", ""}) {
    EXPECT_FALSE(Parse({"--web", "--players", "2", "--host", hosts}, options, &error)) << hosts;
  }
  EXPECT_FALSE(Parse({"--web", "--players", "2", "--host", "10.0.0.9"}, options, &error));
  EXPECT_FALSE(Parse({"--host", "a,b", "--demo"}, options, &error));
  // What contradicts itself, or asks for what the mode does not use, or leaves a value out.
  const struct {
    std::vector<const char*> arguments;
    const char* error;
  } refused[] = {
      {{"--buttons", "0x80000000", "--size", "20", "0", "0", "0", "0", "0"},
       "--size 20 contradicts"},
      {{"--size", "100", "--hat", "3", "0", "0", "0", "0", "0"}, "the longer record is 56"},
      {{"--hat", "3", "--web"}, "--hat does not go with --web"},
      {{"--web", "--players"}, "--players needs a value"},
      {{"--hat"}, "--hat needs a value"},
      {{"--buttons", "-1", "0", "0", "0", "0", "0"}, "--buttons takes"},
  };
  for (const auto& one : refused) {
    EXPECT_FALSE(Parse(one.arguments, options, &error)) << one.error;
    EXPECT_NE(error.find(one.error), std::string::npos) << error;
  }
}

// The longer record's head and mask agree, whichever was given; a mask is decimal or 0x.
TEST(SenderOptions, TheLongerRecordsHeadAndMaskNeverDisagree) {
  SenderOptions options;
  ASSERT_TRUE(Parse({"--hat", "3", "0", "0", "0", "1.5", "0"}, options));
  const unsigned char* record = DatagramOfValues(options, options.values);
  EXPECT_EQ(record[28], 1) << "B1 1.5 is pressed by the 20-byte rule, so is button 1";
  ASSERT_TRUE(Parse({"--buttons", "010", "0", "1", "0", "1", "0"}, options));
  EXPECT_EQ(options.tail.buttons, 10u);
  ControlPacket head{};
  std::memcpy(head.bytes, DatagramOfValues(options, options.values), sizeof head.bytes);
  EXPECT_TRUE(ReadPacketValue(head, 3) == 0.0f && ReadPacketValue(head, 4) == 1.0f)
      << "B1 and B2 from the mask 0b1010";
}

TEST(SenderOptions, LinesOfFiveNumbers) {
  float values[5];
  EXPECT_TRUE(ParseFiveNumbers("0 0.5 -1 1 0\n", values));
  EXPECT_EQ(values[1], 0.5f);
  EXPECT_TRUE(ParseFiveNumbers("1,2, 3 ,4,5\r\n", values));
  EXPECT_EQ(values[4], 5.0f);
  EXPECT_FALSE(ParseFiveNumbers("1 2 3 4", values));
  EXPECT_FALSE(ParseFiveNumbers("1 2 3 4 5 6", values));
  EXPECT_FALSE(ParseFiveNumbers("1 2 x 4 5", values));
  EXPECT_FALSE(ParseFiveNumbers("1 2 3x 4 5", values));
}

}  // namespace
}  // namespace joywire
