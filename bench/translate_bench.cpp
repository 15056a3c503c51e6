// The cost of turning one datagram into a position (translation, button bits, the store into
// the record) beside a plain 20-byte copy, in the same binary.
#include <benchmark/benchmark.h>

#include <cstring>

#include "control/position_record.h"
#include "control/translate.h"

namespace {

using namespace joywire;

ControlPacket SamplePacket(int i) {
  ControlPacket packet{};
  const float values[5] = {-1.0f + (i % 200) / 100.0f, 0.5f, -0.25f, 1.0f, (i % 3) * 0.75f};
  for (std::size_t v = 0; v < 5; ++v) {
    WritePacketValue(packet, v, values[v]);
  }
  return packet;
}

constexpr int kPackets = 256;

void BM_Copy20Bytes(benchmark::State& state) {
  ControlPacket source[kPackets];
  for (int i = 0; i < kPackets; ++i)
    source[i] = SamplePacket(i);
  ControlPacket buffer;
  int i = 0;
  for (auto _ : state) {
    std::memcpy(buffer.bytes, source[i++ & (kPackets - 1)].bytes, sizeof buffer.bytes);
    benchmark::DoNotOptimize(buffer);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Copy20Bytes);

void BM_TranslateDatagram(benchmark::State& state) {
  ControlPacket source[kPackets];
  for (int i = 0; i < kPackets; ++i)
    source[i] = SamplePacket(i);
  ControlPacket buffer;
  PositionRecord record;
  ResetPositionRecord(record, 1);
  int i = 0;
  for (auto _ : state) {
    std::memcpy(buffer.bytes, source[i++ & (kPackets - 1)].bytes, sizeof buffer.bytes);
    const TranslatedControls c = TranslatePacket(buffer);
    StorePosition(record, JoystickPosition{c.x, c.y, c.z, MapButtons(c.b1, c.b2)});
    benchmark::DoNotOptimize(record);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_TranslateDatagram);

}  // namespace

BENCHMARK_MAIN();
