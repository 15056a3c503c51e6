#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "control/position_record.h"
#include "control/rumble.h"
#include "control/translate.h"

namespace joywire {
namespace {

ControlPacket PacketOf(float x, float y, float z, float b1, float b2) {
  ControlPacket packet{};
  const float values[5] = {x, y, z, b1, b2};
  for (std::size_t i = 0; i < 5; ++i) {
    WritePacketValue(packet, i, values[i]);
  }
  return packet;
}

TEST(Translate, SampleBytesGiveTheDocumentedPosition) {
  ControlPacket packet{{0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0xBF, 0x00, 0x00,
                        0x80, 0x3F, 0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x00, 0x00}};
  const TranslatedControls c = TranslatePacket(packet);
  EXPECT_EQ(c.x, 16383);
  EXPECT_EQ(c.y, 0);
  EXPECT_EQ(c.z, 32767);
  EXPECT_EQ(c.b1, 1);
  EXPECT_EQ(c.b2, 0);
  EXPECT_EQ(MapButtons(c.b1, c.b2), 1);
}

TEST(Translate, BufferHoldsTheScaledAxesAfterwardsAndButtonsUntouched) {
  ControlPacket packet = PacketOf(0.0f, -1.0f, 1.0f, 1.0f, 0.0f);
  TranslatePacket(packet);
  EXPECT_EQ(ReadPacketValue(packet, 0), 16383.5f);
  EXPECT_EQ(ReadPacketValue(packet, 1), 0.0f);
  EXPECT_EQ(ReadPacketValue(packet, 2), 32767.0f);
  EXPECT_EQ(ReadPacketValue(packet, 3), 1.0f);
  EXPECT_EQ(ReadPacketValue(packet, 4), 0.0f);
  // Little-endian bytes of 16383.5f (0x467FFE00).
  EXPECT_EQ(packet.bytes[0], 0x00);
  EXPECT_EQ(packet.bytes[1], 0xFE);
  EXPECT_EQ(packet.bytes[2], 0x7F);
  EXPECT_EQ(packet.bytes[3], 0x46);
}

TEST(ScaleAxis, ClampsAtBothEndsAndKeepsTheBoundsInside) {
  EXPECT_EQ(ScaleAxis(-2.0f), 0.0f);
  EXPECT_EQ(ScaleAxis(-1.0f), 0.0f);
  EXPECT_EQ(ScaleAxis(std::nextafter(-1.0f, -2.0f)), 0.0f);
  EXPECT_EQ(ScaleAxis(0.0f), 16383.5f);
  EXPECT_EQ(ScaleAxis(1.0f), 32767.0f);
  EXPECT_EQ(ScaleAxis(1.0001f), 32767.0f);
  EXPECT_EQ(ScaleAxis(3.0f), 32767.0f);
  EXPECT_EQ(ScaleAxis(std::numeric_limits<float>::infinity()), 32767.0f);
  EXPECT_EQ(ScaleAxis(-std::numeric_limits<float>::infinity()), 0.0f);
}

TEST(ScaleAxis, RoundsEachStepInSinglePrecisionInOrder) {
  // Worked out by hand: v + 1, times 32767, times 0.5, each rounded to the nearest float.
  // Scaling by 16383.5 first (v * 16383.5 + 16383.5) gives other results for the last four.
  struct Case {
    float value;
    float scaled;
  };
  for (const Case& c :
       {Case{0.5f, 24575.25f}, Case{-0.5f, 8191.75f}, Case{0.25f, 20479.375f},
        Case{0.1f, 18021.849609375f}, Case{0.3f, 21298.548828125f}, Case{-0.7f, 4915.05029296875f},
        Case{0.001f, 16399.884765625f}, Case{-0.9f, 1638.350341796875f}}) {
    EXPECT_EQ(ScaleAxis(c.value), c.scaled) << c.value;
  }
}

TEST(Translate, AxesTruncateTowardZero) {
  ControlPacket packet = PacketOf(-0.99999f, 0.5f, 0.99999f, 0, 0);
  const TranslatedControls c = TranslatePacket(packet);
  EXPECT_EQ(c.x, 0);      // 0.16 truncates to 0
  EXPECT_EQ(c.y, 24575);  // 24575.25
  EXPECT_EQ(c.z, 32766);  // 32766.8
}

TEST(Translate, NanAxisIsCentredAndInfinitiesClamp) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  ControlPacket packet = PacketOf(nan, inf, -inf, 0, 0);
  const TranslatedControls c = TranslatePacket(packet);
  EXPECT_EQ(c.x, kNanAxisValue);
  EXPECT_EQ(c.x, 16383);
  EXPECT_EQ(c.y, 32767);
  EXPECT_EQ(c.z, 0);
  // A signalling NaN and a negative NaN behave the same.
  ControlPacket other = PacketOf(std::bit_cast<float>(0xFF800001u), 0, 0, 0, 0);
  EXPECT_EQ(TranslatePacket(other).x, kNanAxisValue);
}

TEST(Buttons, ValuesTruncateAndOnlyExactlyOnePresses) {
  struct Case {
    float value;
    std::int32_t truncated;
  };
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  for (const Case& c : {Case{1.0f, 1}, Case{1.5f, 1}, Case{1.9999f, 1}, Case{0.999f, 0},
                        Case{-0.5f, 0}, Case{2.0f, 2}, Case{-1.0f, -1}, Case{-1.5f, -1},
                        Case{2147483520.0f, 2147483520}, Case{-2147483648.0f, INT32_MIN}}) {
    ControlPacket packet = PacketOf(0, 0, 0, c.value, c.value);
    const TranslatedControls t = TranslatePacket(packet);
    EXPECT_EQ(t.b1, c.truncated) << c.value;
    EXPECT_EQ(t.b2, c.truncated) << c.value;
  }
  // No 32-bit truncation exists for these: they count as released.
  for (float beyond : {nan, inf, -inf, 2147483648.0f, -2147483904.0f, 1e30f, -1e30f}) {
    ControlPacket packet = PacketOf(0, 0, 0, beyond, 1.0f);
    const TranslatedControls t = TranslatePacket(packet);
    EXPECT_NE(t.b1, 1) << beyond;
    EXPECT_EQ(MapButtons(t.b1, t.b2), 2) << beyond;
  }
}

TEST(Buttons, TableOfBothButtons) {
  EXPECT_EQ(MapButtons(1, 0), 1);
  EXPECT_EQ(MapButtons(1, 1), 0);
  EXPECT_EQ(MapButtons(0, 1), 2);
  EXPECT_EQ(MapButtons(0, 0), 0);
  EXPECT_EQ(MapButtons(2, 0), 0);
  EXPECT_EQ(MapButtons(-1, 0), 0);
  EXPECT_EQ(MapButtons(1, 2), 1);
  EXPECT_EQ(MapButtons(INT32_MIN, 1), 2);
}

TEST(Buttons, DocumentedDatagramCases) {
  struct Case {
    float b1, b2;
    std::int32_t bits;
  };
  for (const Case& c : {Case{1.0f, 1.0f, 0}, Case{0.0f, 1.5f, 2}, Case{2.0f, 0.0f, 0},
                        Case{-1.0f, 0.0f, 0}, Case{1.0f, 0.0f, 1}}) {
    ControlPacket packet = PacketOf(0, 0, 0, c.b1, c.b2);
    const TranslatedControls t = TranslatePacket(packet);
    EXPECT_EQ(MapButtons(t.b1, t.b2), c.bits) << c.b1 << " " << c.b2;
  }
}

TEST(PositionRecord, FieldsLandAtTheDriversOffsetsLittleEndian) {
  PositionRecord record;
  std::memset(record.bytes, 0xAA, sizeof record.bytes);
  ResetPositionRecord(record, 0x1234);
  StorePosition(record, JoystickPosition{0x01020304, 16383, 32767, 2});
  EXPECT_EQ(record.bytes[0], 0x34);
  const std::uint8_t x[4] = {0x04, 0x03, 0x02, 0x01};
  EXPECT_EQ(std::memcmp(record.bytes + 16, x, 4), 0);
  EXPECT_EQ(record.bytes[20], 0xFF);
  EXPECT_EQ(record.bytes[21], 0x3F);
  EXPECT_EQ(record.bytes[24], 0xFF);
  EXPECT_EQ(record.bytes[25], 0x7F);
  EXPECT_EQ(record.bytes[76], 2);
  // Everything the feeder does not write is zero, so the driver reads no garbage.
  for (std::size_t i = 1; i < sizeof record.bytes; ++i) {
    const bool written = (i >= 16 && i < 28) || (i >= 76 && i < 80);
    if (!written) {
      EXPECT_EQ(record.bytes[i], 0) << "offset " << i;
    }
  }
  const JoystickPosition back = ReadPosition(record);
  EXPECT_EQ(back.x, 0x01020304);
  EXPECT_EQ(back.buttons, 2);
}

TEST(PositionRecord, StoringAPositionLeavesTheDeviceIndex) {
  PositionRecord record;
  ResetPositionRecord(record, 257);
  StorePosition(record, kRestPosition);
  StorePosition(record, JoystickPosition{1, 2, 3, 1});
  EXPECT_EQ(ReadDeviceIndex(record), 1);
  EXPECT_EQ(kRestPosition.x, 16383);
  EXPECT_EQ(kRestPosition.y, 0);
  EXPECT_EQ(kRestPosition.z, 0);
  EXPECT_EQ(kRestPosition.buttons, 0);
}

// What a game plays comes back as the strongest effect playing times the gain, for as long as
// it plays; the datagram goes at once on a change, again while it holds, one zero at its end,
// and never faster than the gap.
TEST(Rumble, TheStrongestPlayingTimesTheGainGoesBackOnChangeRenewedAndEnded) {
  RumbleMixer mixer;
  EXPECT_FALSE(mixer.Upload(16, {1, 1}, 0));
  ASSERT_TRUE(mixer.Upload(0, {0x8000, 0x1000}, 0));    // until stopped
  ASSERT_TRUE(mixer.Upload(1, {0x2000, 0xFFFF}, 100));  // 100 ms a play
  EXPECT_EQ(mixer.Level(0), (RumbleLevel{0, 0})) << "uploaded, not played";
  mixer.Play(0, 1, 0);
  mixer.Play(1, 2, 0);
  EXPECT_EQ(mixer.Level(10), (RumbleLevel{0x8000, 0xFFFF}));
  EXPECT_EQ(mixer.NextEnd(10), 200) << "played twice";
  EXPECT_EQ(mixer.Level(200), (RumbleLevel{0x8000, 0x1000})) << "its length over";
  mixer.SetGain(0x8000);
  EXPECT_EQ(mixer.Level(200).strong, 0x4000);
  mixer.Upload(0, {0, 0}, 0);  // a change while it plays (a stop by zero magnitude)
  EXPECT_EQ(mixer.Level(200), (RumbleLevel{0, 0}));
  mixer.Upload(0, {0xFFFF, 0}, 0);
  mixer.Erase(0);  // the game let go of it (or ended)
  EXPECT_EQ(mixer.Level(200), (RumbleLevel{0, 0}));

  RumbleSchedule schedule;
  const RumbleLevel on{100, 50};
  EXPECT_FALSE(schedule.Due({0, 0}, 0)) << "a still device says nothing";
  EXPECT_TRUE(schedule.Due(on, 0));
  EXPECT_FALSE(schedule.Due(on, 199));
  EXPECT_TRUE(schedule.Due(on, 200)) << "renewed while it holds";
  EXPECT_EQ(schedule.Next({0, 0}, 205), 220) << "a change waits for the gap";
  EXPECT_TRUE(schedule.Due({0, 0}, 220));
  EXPECT_EQ(schedule.Next({0, 0}, 1000), -1) << "one zero, then nothing";

  std::uint8_t datagram[kRumbleDatagramSize];
  EncodeRumble({0x1234, 0xABCD}, kRumbleHoldMs, datagram);
  const std::uint8_t expected[] = {0x4A, 0x57, 0x72, 0x31, 1,    0,
                                   0x34, 0x12, 0xCD, 0xAB, 0xF4, 0x01};
  EXPECT_TRUE(std::equal(datagram, datagram + sizeof datagram, expected));
  RumbleLevel level{};
  std::uint16_t hold = 0;
  EXPECT_TRUE(DecodeRumble(datagram, sizeof datagram, level, hold) && level.weak == 0xABCD &&
              hold == 500);
  datagram[4] = 2;
  EXPECT_FALSE(DecodeRumble(datagram, sizeof datagram, level, hold)) << "another version";
}

}  // namespace
}  // namespace joywire
