// The cost of turning one datagram into a position (translation, button bits, the store into
// the record) beside a plain 20-byte copy, in the same binary.
#include <benchmark/benchmark.h>

#include <cstring>

#include "control/datagram.h"
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

// The feeder's own step, for a 20-byte datagram (0) and for a longer record (1); without the
// extra controls (Windows) and with them (Linux).
void BM_PositionOfDatagram(benchmark::State& state) {
  const bool longer = state.range(0) == 1;
  ExtraControls extras{};
  ExtraControls* const shown = state.range(1) == 1 ? &extras : nullptr;
  ReceiveBuffer source[kPackets];
  for (int i = 0; i < kPackets; ++i) {
    source[i] = ReceiveBuffer{SamplePacket(i), {0x4A, 0x57, 0x78, 0x31, 1, 0, 0, 0, 3}};
  }
  const std::size_t size = longer ? kLongRecordSize : kControlPacketSize;
  ReceiveBuffer buffer;
  PositionRecord record;
  ResetPositionRecord(record, 1);
  int i = 0;
  for (auto _ : state) {
    const ReceiveBuffer& next = source[i++ & (kPackets - 1)];
    longer ? std::memcpy(&buffer, &next, kLongRecordSize) : std::memcpy(&buffer, &next, 20);
    StorePosition(record, PositionOfDatagram(buffer, size, shown));
    benchmark::DoNotOptimize(record);
    benchmark::DoNotOptimize(extras);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_PositionOfDatagram)->ArgsProduct({{0, 1}, {0, 1}});

}  // namespace

BENCHMARK_MAIN();
