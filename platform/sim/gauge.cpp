#include "platform/sim/gauge.h"

#include <chrono>
#include <cstdio>

namespace joywire {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kFrameInterval = std::chrono::milliseconds(33);  // about 30 drawings a second
constexpr auto kRateWindow = std::chrono::seconds(1);
constexpr int kBarWidth = 32;
constexpr int kAxisMaximum = 32767;

struct GaugeState {
  GaugeView view;
  bool started;      // something to show since the first acquisition
  bool onScreen;     // the gauge's lines are below the cursor's line
  bool dirty;        // the screen is behind the state
  bool atLineStart;  // other output has ended its line, so the gauge may be drawn below it
  Clock::time_point lastDrawing;
  Clock::time_point windowStart;
  long long windowUpdates;
};

GaugeState g_gauge{{}, false, false, false, true, {}, {}, 0};

void WriteTerminal(const char* text, std::size_t length) {
  std::fwrite(text, 1, length, stderr);
  std::fflush(stderr);
}

// Updates a second over the last whole window; falls to 0 once updates stop.
void MeasureRate(Clock::time_point now) {
  const auto elapsed = now - g_gauge.windowStart;
  if (elapsed >= kRateWindow) {
    const double seconds = std::chrono::duration<double>(elapsed).count();
    g_gauge.view.ratePerSecond =
        static_cast<long long>(static_cast<double>(g_gauge.windowUpdates) / seconds + 0.5);
    g_gauge.windowStart = now;
    g_gauge.windowUpdates = 0;
  }
}

void Changed(std::uint32_t device) {
  if (!g_gauge.started) {
    g_gauge.started = true;
    g_gauge.windowStart = Clock::now();
  }
  g_gauge.view.device = device;
  g_gauge.dirty = true;
  if (GaugeMillisecondsUntilDue() == 0) {
    GaugeDraw();
  }
}

void PutBar(char*& at, const char* end, const char* name, std::int32_t value) {
  const int clamped = value < 0 ? 0 : (value > kAxisMaximum ? kAxisMaximum : value);
  const int filled = static_cast<int>(
      (static_cast<long long>(clamped) * kBarWidth + kAxisMaximum / 2) / kAxisMaximum);
  char bar[kBarWidth + 1];
  for (int i = 0; i < kBarWidth; ++i) {
    bar[i] = i < filled ? '#' : '-';
  }
  bar[kBarWidth] = '\0';
  at += std::snprintf(at, static_cast<std::size_t>(end - at), "  %s [%s] %6d\n", name, bar,
                      static_cast<int>(value));
}

}  // namespace

std::size_t FormatGauge(const GaugeView& view, char* out, std::size_t capacity) {
  char* at = out;
  const char* end = out + capacity;
  at += std::snprintf(at, static_cast<std::size_t>(end - at),
                      "joywire-sim  device %d   updates %lld   %lld/s\n",
                      static_cast<int>(view.device), view.updates, view.ratePerSecond);
  PutBar(at, end, "X", view.position.x);
  PutBar(at, end, "Y", view.position.y);
  PutBar(at, end, "Z", view.position.z);
  at += std::snprintf(at, static_cast<std::size_t>(end - at),
                      "  button 1 [%c]  button 2 [%c]   failed: %lld acquisitions, %lld updates\n",
                      (view.position.buttons & 1) != 0 ? '#' : ' ',
                      (view.position.buttons & 2) != 0 ? '#' : ' ', view.failedAcquisitions,
                      view.failedUpdates);
  return static_cast<std::size_t>(at - out);
}

void GaugeAcquire(std::uint32_t device, bool ok) {
  if (!ok) {
    ++g_gauge.view.failedAcquisitions;
  }
  Changed(device);
}

void GaugeUpdate(std::uint32_t device, const JoystickPosition& position, bool ok) {
  ++g_gauge.view.updates;
  ++g_gauge.windowUpdates;
  if (ok) {
    g_gauge.view.position = position;
  } else {
    ++g_gauge.view.failedUpdates;
  }
  Changed(device);
}

int GaugeMillisecondsUntilDue() {
  if (!g_gauge.started || !g_gauge.atLineStart) {
    return -1;
  }
  Clock::time_point due;
  if (g_gauge.dirty) {
    due = g_gauge.lastDrawing + kFrameInterval;
  } else if (g_gauge.view.ratePerSecond != 0) {
    due = g_gauge.windowStart + kRateWindow;  // so the rate falls to 0 when datagrams stop
  } else {
    return -1;
  }
  const auto now = Clock::now();
  if (now >= due) {
    return 0;
  }
  return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(due - now).count());
}

void GaugeDraw() {
  if (!g_gauge.started || !g_gauge.atLineStart) {
    return;
  }
  const auto now = Clock::now();
  MeasureRate(now);
  // The cursor's way back to the top of the gauge, then its lines of at most 80 columns.
  char text[kGaugeLines * 96 + 32];
  std::size_t length = 0;
  if (g_gauge.onScreen) {
    length +=
        static_cast<std::size_t>(std::snprintf(text, sizeof text, "\r\x1b[%dA\x1b[J", kGaugeLines));
  }
  length += FormatGauge(g_gauge.view, text + length, sizeof text - length);
  WriteTerminal(text, length);
  g_gauge.onScreen = true;
  g_gauge.dirty = false;
  g_gauge.lastDrawing = now;
}

void GaugeStepAside() {
  if (g_gauge.onScreen) {
    char text[16];
    const int length = std::snprintf(text, sizeof text, "\r\x1b[%dA\x1b[J", kGaugeLines);
    WriteTerminal(text, static_cast<std::size_t>(length));
    g_gauge.onScreen = false;
    g_gauge.dirty = true;
  }
}

void GaugeAfterOutput(const char* text, std::size_t length) {
  if (length > 0) {
    g_gauge.atLineStart = text[length - 1] == '\n';
  }
  g_gauge.dirty = true;
  GaugeDraw();
}

}  // namespace joywire
