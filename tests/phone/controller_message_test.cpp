#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "control/control_packet.h"
#include "phone/channel/channel_message.h"
#include "phone/forward/controller_message.h"

namespace joywire {
namespace {

// A phone's message is forwarded only as 20 bytes of five finite values, or as the longer
// record: its tag and version, a hat of 0..8, zero reserved bytes, finite axes.
TEST(ControllerMessage, OnlyTwentyBytesOrTheLongerRecordOfFiniteValuesAreForwarded) {
  ControllerMessage message{
      {0.5f, -1.0f, 1.0f, 1.0f, 0.0f}, true, {8, 0x80000003u, {1, -1, 0.25f}}};
  unsigned char bytes[kLongRecordSize];
  ASSERT_EQ(DatagramOfMessage(message, bytes), kLongRecordSize);
  ControllerMessage read{};
  ASSERT_EQ(CheckControllerMessage(bytes, 56, true, read), MessageVerdict::kForward);
  unsigned char again[kLongRecordSize];
  ASSERT_EQ(DatagramOfMessage(read, again), kLongRecordSize);
  EXPECT_EQ(std::memcmp(bytes, again, sizeof bytes), 0) << "forwarded byte for byte";
  EXPECT_EQ(CheckControllerMessage(bytes, 20, true, read), MessageVerdict::kForward);
  EXPECT_TRUE(read.values[0] == 0.5f && read.values[1] == -1.0f && !read.longRecord);
  EXPECT_EQ(CheckControllerMessage(bytes, 20, false, read), MessageVerdict::kNotBinary);
  EXPECT_EQ(CheckControllerMessage(bytes, 65, false, read), MessageVerdict::kTooLarge);
  for (const std::size_t size : {0, 19, 21, 55, 57}) {
    EXPECT_EQ(CheckControllerMessage(bytes, size, true, read), MessageVerdict::kWrongSize) << size;
  }
  for (const std::size_t spoil : {20, 24, 25, 26, 27}) {  // tag, version, hat 9, reserved bytes
    std::memcpy(again, bytes, sizeof bytes);
    again[spoil] = spoil == 25 ? 9 : again[spoil] + 1;
    EXPECT_EQ(CheckControllerMessage(again, 56, true, read), MessageVerdict::kNotRecord) << spoil;
  }
  for (const std::size_t at : {16, 52}) {
    for (const float bad : {std::nanf(""), INFINITY, -INFINITY}) {
      std::memcpy(again, bytes, sizeof bytes);
      WriteLittleEndianFloat(again + at, bad);
      EXPECT_EQ(CheckControllerMessage(again, 56, true, read), MessageVerdict::kNotFinite) << at;
    }
  }
  ControllerMessage neutral = NeutralOf({{0.3f, 0.4f, 0.7f, 1.0f, 1.0f}, false, {}});
  EXPECT_TRUE(neutral.values[0] == 0 && neutral.values[1] == 0 && neutral.values[2] == 0.7f &&
              neutral.values[3] == 0 && neutral.values[4] == 0 && !neutral.longRecord)
      << "centred and released, the throttle kept";
  neutral = NeutralOf(message);
  EXPECT_TRUE(neutral.longRecord && neutral.values[2] == -1 && neutral.tail.buttons == 0 &&
              neutral.tail.hat == 0 && neutral.tail.axes[0] == 0 && neutral.tail.axes[2] == -1)
      << "after a longer record, every control let go: triggers released, sticks centred";
}

TEST(ControllerMessage, ARoundTripReportIsRttAndAtMostAMinuteOfMilliseconds) {
  const auto read = [](const char* text, int& ms) {
    return ReadRoundTripReport(reinterpret_cast<const unsigned char*>(text), std::strlen(text), ms);
  };
  int ms = -1;
  EXPECT_TRUE(read("rtt 0", ms) && ms == 0);
  EXPECT_TRUE(read("rtt 60000", ms) && ms == 60000);
  EXPECT_TRUE(read("rtt 60001", ms) && ms == -1) << "past a minute: a report, not shown";
  EXPECT_TRUE(read("rtt 999999999", ms) && ms == -1);
  for (const char* bad : {"rtt ", "rtt 1000000000", "rtt -1", "rtt 1.5", "RTT 12", "rtt"}) {
    EXPECT_FALSE(read(bad, ms)) << bad;
  }
}

// The data channel's words over the WebSocket, and its numbered messages: an older one than
// the newest let through is dropped, across the counter's wrap too.
TEST(ControllerMessage, AChannelMessageIsNumberedAndNeverOlderThanTheLast) {
  const auto signal = [](std::string_view text) {
    return web::ReadChannelSignal(
        {reinterpret_cast<const unsigned char*>(text.data()), text.size()});
  };
  using Kind = web::ChannelSignal::Kind;
  EXPECT_TRUE(signal("offer v=0").kind == Kind::kOffer && signal("offer v=0").text == "v=0");
  EXPECT_TRUE(signal("stream").kind == Kind::kStream && signal("stream").text.empty());
  EXPECT_TRUE(signal("stream idle").kind == Kind::kStream && signal("stream idle").text == "idle");
  const web::ChannelSignal candidate =
      signal("candidate 0 candidate:1 1 udp 9 10.0.0.7 5 typ host");
  EXPECT_TRUE(candidate.kind == Kind::kCandidate && candidate.mline == 0 &&
              candidate.text == "candidate:1 1 udp 9 10.0.0.7 5 typ host");
  for (const char* other : {"rtt 5", "offer", "candidate x y", "candidate 16 c", "candidate -1 c",
                            "candidate 0", "Offer v=0", "streams", "stream idler"}) {
    EXPECT_EQ(signal(other).kind, Kind::kNone) << other;
  }
  const unsigned char bytes[] = {0x04, 0x03, 0x02, 0x01, 9, 9};
  std::uint32_t sequence = 0;
  std::span<const unsigned char> record;
  ASSERT_TRUE(web::SplitSequenced(bytes, sequence, record));
  EXPECT_TRUE(sequence == 0x01020304u && record.size() == 2 && record[0] == 9);
  EXPECT_FALSE(web::SplitSequenced(std::span(bytes).first(3), sequence, record));
  web::SequenceGate gate;
  const std::pair<std::uint32_t, bool> arrivals[] = {
      {5, true},           {4, false},          {5, false},
      {7, true},           {6, false},          {0xFFFFFFF0u, false},
      {0x80000006u, true}, {0xFFFFFFFFu, true}, {0, true},
      {2, true},           {0xFFFFFFFEu, false}};
  for (const auto& [number, admitted] : arrivals) {
    EXPECT_EQ(gate.Admit(number), admitted) << number;
  }
}

}  // namespace
}  // namespace joywire
