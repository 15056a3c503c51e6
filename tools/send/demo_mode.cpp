// A smooth motion at a rate for a time (--demo), and floods (--flood N).
#include <cstdio>

#include "tools/send/demo_motion.h"
#include "tools/send/pacer.h"
#include "tools/send/send_mode.h"

namespace joywire {

int SendDemo(const UdpSender& sender, const SenderOptions& options) {
  const Pacer pacer(options.rate);
  const auto total = static_cast<std::uint64_t>(options.seconds * options.rate);
  for (std::uint64_t sent = 0; sent < total; ++sent) {
    pacer.WaitFor(sent);
    float values[5];
    DemoMotion(static_cast<double>(sent) / options.rate, values);
    if (!SendValues(sender, options, values)) {
      return 1;
    }
  }
  std::fprintf(stderr, "joywire-send: sent %llu demo datagrams to %s:%u\n",
               static_cast<unsigned long long>(total), options.host,
               static_cast<unsigned>(options.port));
  return 0;
}

int SendFlood(const UdpSender& sender, const SenderOptions& options) {
  const Pacer pacer(options.rate);
  for (std::uint64_t sent = 0; sent < options.count; ++sent) {
    pacer.WaitFor(sent);
    // X walks across its range so a receiver can see the datagrams' order.
    const float x = -1.0f + 2.0f * static_cast<float>(sent % 32768) / 32767.0f;
    const float values[5] = {x, 0.0f, 0.0f, static_cast<float>(sent % 2), 0.0f};
    if (!SendValues(sender, options, values)) {
      return 1;
    }
  }
  const double elapsed = pacer.Elapsed();
  std::fprintf(stderr, "joywire-send: sent %llu datagrams in %.3f s (%.0f per second)\n",
               static_cast<unsigned long long>(options.count), elapsed,
               elapsed > 0 ? static_cast<double>(options.count) / elapsed : 0.0);
  return 0;
}

}  // namespace joywire
