#include "platform/sim/simulated_rumble.h"

#include <fcntl.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <string_view>

#include "platform/posix/rumble_receive.h"

namespace joywire {

namespace {

constexpr int kEffect = 0;

struct PipeState {
  int fd = -1;
  char line[64] = {};
  std::size_t used = 0;
  bool overlong = false;  // the line being read is past the room: it is dropped whole
};

PipeState g_pipe;

// The next number of `text` from `at`; false when there is none, or it is out of range.
bool NextNumber(std::string_view text, std::size_t& at, std::uint32_t limit, std::uint32_t& value) {
  while (at < text.size() && text[at] == ' ') {
    ++at;
  }
  const auto [end, error] = std::from_chars(text.data() + at, text.data() + text.size(), value);
  if (error != std::errc{} || value > limit) {
    return false;
  }
  at = static_cast<std::size_t>(end - text.data());
  return true;
}

void Obey(std::string_view line, RumbleMixer& mixer, std::int64_t now) {
  std::size_t at = 0;
  std::uint32_t strong = 0;
  std::uint32_t weak = 0;
  std::uint32_t length = 0;
  if (line.starts_with("play ")) {
    at = 5;
    if (NextNumber(line, at, 0xFFFF, strong) && NextNumber(line, at, 0xFFFF, weak)) {
      NextNumber(line, at, 0xFFFFFFFF, length);  // none: until stopped
      mixer.Upload(kEffect, {static_cast<std::uint16_t>(strong), static_cast<std::uint16_t>(weak)},
                   length);
      mixer.Play(kEffect, 1, now);
    }
  } else if (line == "stop") {
    mixer.Play(kEffect, 0, now);
  } else if (line.starts_with("gain ")) {
    at = 5;
    if (NextNumber(line, at, 0xFFFF, strong)) {
      mixer.SetGain(static_cast<std::uint16_t>(strong));
    }
  }
}

// Every whole line the pipe holds now.
void ServePipe(RumbleMixer& mixer, std::int64_t now) {
  char bytes[256];
  ssize_t got = 0;
  while ((got = read(g_pipe.fd, bytes, sizeof bytes)) > 0) {
    for (ssize_t i = 0; i < got; ++i) {
      if (bytes[i] == '\n') {
        if (!g_pipe.overlong) {
          Obey(std::string_view(g_pipe.line, g_pipe.used), mixer, now);
        }
        g_pipe.used = 0;
        g_pipe.overlong = false;
      } else if (g_pipe.used < sizeof g_pipe.line) {
        g_pipe.line[g_pipe.used++] = bytes[i];
      } else {
        g_pipe.overlong = true;
      }
    }
  }
}

}  // namespace

bool InstallSimulatedRumble(Platform& platform, void (*told)(RumbleLevel level),
                            int (*displayDueMs)(), void (*display)()) {
  const char* path = std::getenv("JOYWIRE_SIM_RUMBLE");
  if (path == nullptr || *path == '\0') {
    return false;
  }
  // Opened for writing too, so that it never reads as ended when a test's writer closes it.
  g_pipe.fd = open(path, O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (g_pipe.fd < 0) {
    return false;
  }
  InstallRumbleReceive(platform);
  ServeRumbleFrom(RumbleDevice{g_pipe.fd, ServePipe, told, displayDueMs, display});
  return true;
}

}  // namespace joywire
