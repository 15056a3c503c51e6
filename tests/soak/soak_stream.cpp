// Sends a long, seeded stream of good, short, random and extreme datagrams to a feeder and
// writes, for every datagram of 20 bytes or more, the update line the simulated joystick must
// trace for it, in order.
//   soak-stream --count N --seed S --rate R --expect FILE [--host H] [--port P]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <thread>

#include "control/datagram.h"
#include "platform/udp_sender.h"

namespace {

std::uint64_t g_random = 0;

std::uint64_t NextRandom() {  // splitmix64
  std::uint64_t z = (g_random += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

std::uint32_t Below(std::uint32_t limit) {
  return static_cast<std::uint32_t>(NextRandom() % limit);
}

float Pick(const float* values, std::size_t count) {
  return values[Below(count)];
}

constexpr float kInf = std::numeric_limits<float>::infinity();
const float kExtremeAxes[] = {std::numeric_limits<float>::quiet_NaN(),
                              kInf,
                              -kInf,
                              1e-40f,
                              -1e-40f,
                              -0.0f,
                              1e38f,
                              -1e38f,
                              1.0001f,
                              -1.0001f};
const float kExtremeButtons[] = {std::numeric_limits<float>::quiet_NaN(),
                                 kInf,
                                 -kInf,
                                 3e9f,
                                 -3e9f,
                                 1e30f,
                                 1.0f,
                                 1.99f,
                                 2.0f,
                                 1e-40f};
const float kButtons[] = {0.0f, 1.0f, 1.5f, 2.0f, -1.0f};

struct Counts {
  unsigned long long sent, shortOnes, good, random, extreme;
};

}  // namespace

int main(int argc, char** argv) {
  const char* host = "127.0.0.1";
  unsigned port = 50000;
  unsigned long long count = 10000;
  double rate = 20000;
  const char* expectPath = nullptr;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--count"))
      count = std::strtoull(argv[i + 1], nullptr, 10);
    else if (!std::strcmp(argv[i], "--seed"))
      g_random = std::strtoull(argv[i + 1], nullptr, 10);
    else if (!std::strcmp(argv[i], "--rate"))
      rate = std::strtod(argv[i + 1], nullptr);
    else if (!std::strcmp(argv[i], "--expect"))
      expectPath = argv[i + 1];
    else if (!std::strcmp(argv[i], "--host"))
      host = argv[i + 1];
    else if (!std::strcmp(argv[i], "--port"))
      port = static_cast<unsigned>(std::atoi(argv[i + 1]));
  }
  std::FILE* expect = expectPath != nullptr ? std::fopen(expectPath, "w") : nullptr;
  joywire::UdpSender sender{};
  char error[128];
  if (expect == nullptr || !joywire::OpenUdpSender(host, static_cast<std::uint16_t>(port), sender,
                                                   error, sizeof error)) {
    std::fprintf(stderr, "soak-stream: cannot start (need --expect FILE; %s)\n", error);
    return 2;
  }

  static unsigned char datagram[1500];
  Counts counts{};
  const auto start = std::chrono::steady_clock::now();
  for (unsigned long long n = 0; n < count; ++n) {
    const double due = static_cast<double>(n) / rate;
    const double now =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (due > now + 0.001) {
      std::this_thread::sleep_for(std::chrono::duration<double>(due - now));
    }
    for (auto& byte : datagram) {
      byte = static_cast<unsigned char>(NextRandom());
    }
    // X carries the sequence so a lost or reordered datagram shows in the trace.
    const float marker = static_cast<float>(n % 60000) / 30000.0f - 1.0f;
    std::size_t size = 20;
    joywire::ControlPacket packet{};
    const unsigned kind = Below(100);
    if (kind < 15) {
      size = Below(20);
      ++counts.shortOnes;
    } else if (kind < 55) {
      const float values[5] = {marker, Below(3000) / 1000.0f - 1.5f, Below(3000) / 1000.0f - 1.5f,
                               Pick(kButtons, 5), Pick(kButtons, 5)};
      for (std::size_t i = 0; i < 5; ++i)
        joywire::WritePacketValue(packet, i, values[i]);
      std::memcpy(datagram, packet.bytes, 20);
      size = Below(2) ? 20 : 20 + Below(1481);
      if (Below(3) == 0) {  // a longer record: its hat, mask and axes random
        std::memcpy(datagram + 20, "JWx1\x01", 5);
        size = joywire::kLongRecordSize;
      }
      ++counts.good;
    } else if (kind < 80) {
      size = 20 + Below(1481);
      ++counts.random;
    } else {
      const float values[5] = {marker, Pick(kExtremeAxes, 10), Pick(kExtremeAxes, 10),
                               Pick(kExtremeButtons, 10), Pick(kExtremeButtons, 10)};
      for (std::size_t i = 0; i < 5; ++i)
        joywire::WritePacketValue(packet, i, values[i]);
      std::memcpy(datagram, packet.bytes, 20);
      ++counts.extreme;
    }
    if (size >= 20) {
      joywire::ReceiveBuffer buffer{};
      std::memcpy(&buffer, datagram, std::min(size, sizeof buffer));
      const joywire::JoystickPosition p =
          joywire::PositionOfDatagram(buffer, std::min(size, sizeof buffer));
      std::fprintf(expect, "x=%d y=%d z=%d buttons=%d\n", p.x, p.y, p.z, p.buttons);
    }
    if (!joywire::SendDatagram(sender, datagram, size)) {
      std::fprintf(stderr, "soak-stream: send failed at %llu\n", n);
      return 1;
    }
    ++counts.sent;
  }
  std::fclose(expect);
  joywire::CloseUdpSender(sender);
  std::printf("sent %llu: %llu well-formed, %llu extreme values, %llu random bytes, %llu short\n",
              counts.sent, counts.good, counts.extreme, counts.random, counts.shortOnes);
  return 0;
}
