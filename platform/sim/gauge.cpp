#include "platform/sim/gauge.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>

#include "platform/live_region.h"
#include "platform/terminal.h"

namespace joywire {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kFrameInterval = std::chrono::milliseconds(33);  // about 30 drawings a second
constexpr auto kRateWindow = std::chrono::seconds(1);
constexpr int kBarWidth = 32;
constexpr int kAxisMaximum = 32767;
constexpr int kWidestLine = 96;

struct GaugeState {
  GaugeView view;
  bool started;  // something to show since the first acquisition
  bool dirty;    // the screen is behind the state
  Clock::time_point lastDrawing;
  Clock::time_point windowStart;
  long long windowUpdates;
};

GaugeState g_gauge{
    GaugeView{0, {}, kRestExtraControls, 0, 0, 0, 0, {0, 0}}, false, false, {}, {}, 0};

void WriteTerminal(const char* text, std::size_t length) {
  std::fwrite(text, 1, length, stderr);
  std::fflush(stderr);
}

LiveRegion g_region(WriteTerminal);

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

// Lines into a fixed buffer, each cut to the width, none ever past the buffer's end.
class GaugeText {
 public:
  GaugeText(char* out, std::size_t capacity, int columns)
      : out_(out), capacity_(capacity), width_(columns > 1 ? columns - 1 : 0) {}

  // Whether a line of `length` characters fits the width whole.
  bool Fits(int length) const { return length <= width_; }

  void Line(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    char line[kWidestLine + 1];
    va_list arguments;
    va_start(arguments, format);
    const int wanted = std::vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    int length = wanted < 0 ? 0 : (wanted > kWidestLine ? kWidestLine : wanted);
    length = length > width_ ? width_ : length;  // cut, never wrapped
    if (used_ + static_cast<std::size_t>(length) + 1 > capacity_) {
      return;
    }
    for (int i = 0; i < length; ++i) {
      out_[used_++] = line[i];
    }
    out_[used_++] = '\n';
  }
  std::size_t Length() const { return used_; }
  int Width() const { return width_; }

 private:
  char* out_;
  std::size_t capacity_;
  int width_;
  std::size_t used_ = 0;
};

void PutBar(GaugeText& text, const char* name, std::int32_t value, int barWidth) {
  const int clamped = value < 0 ? 0 : (value > kAxisMaximum ? kAxisMaximum : value);
  const int filled = static_cast<int>(
      (static_cast<long long>(clamped) * barWidth + kAxisMaximum / 2) / kAxisMaximum);
  char bar[kBarWidth + 1];
  for (int i = 0; i < barWidth; ++i) {
    bar[i] = i < filled ? '#' : '-';
  }
  bar[barWidth] = '\0';
  text.Line("  %s [%s] %6d", name, bar, static_cast<int>(value));
}

// The longer record's controls that are not at rest: buttons 3-32 held, the hat, the axes.
void PutMore(GaugeText& text, const GaugeView& view) {
  const auto buttons = static_cast<std::uint32_t>(view.position.buttons) & ~3u;
  if (buttons == 0 && ExtraControlsAtRest(view.extras)) {
    return;
  }
  char line[kWidestLine + 1];
  int used = std::snprintf(line, sizeof line, "  more:");
  const auto add = [&line, &used](const char* format, auto... values) {
    if (used >= 0 && used < static_cast<int>(sizeof line)) {
      used += std::snprintf(line + used, sizeof line - static_cast<std::size_t>(used), format,
                            values...);
    }
  };
  for (int button = 3; button <= 32; ++button) {
    if ((buttons >> (button - 1)) & 1u) {
      add(" %d", button);
    }
  }
  if (view.extras.hat != kRestExtraControls.hat) {
    add("  hat %u", unsigned{view.extras.hat});
  }
  static constexpr const char* kAxisNames[kExtraAxisCount] = {"RX",     "RY",   "RZ",
                                                              "slider", "dial", "wheel"};
  for (std::size_t axis = 0; axis < kExtraAxisCount; ++axis) {
    if (view.extras.axes[axis] != kRestExtraControls.axes[axis]) {
      add("  %s %d", kAxisNames[axis], static_cast<int>(view.extras.axes[axis]));
    }
  }
  text.Line("%s", line);
}

}  // namespace

std::size_t FormatGauge(const GaugeView& view, int columns, char* out, std::size_t capacity) {
  GaugeText text(out, capacity, columns);
  text.Line("joywire-sim  device %d   updates %lld   %lld/s", static_cast<int>(view.device),
            view.updates, view.ratePerSecond);
  // "  X [" + bar + "] " + six digits: the bar takes what the width leaves, up to its full size.
  const int room = text.Width() - 13;
  const int barWidth = room < 4 ? 4 : (room > kBarWidth ? kBarWidth : room);
  PutBar(text, "X", view.position.x, barWidth);
  PutBar(text, "Y", view.position.y, barWidth);
  PutBar(text, "Z", view.position.z, barWidth);
  const char lamp1 = (view.position.buttons & 1) != 0 ? '#' : ' ';
  const char lamp2 = (view.position.buttons & 2) != 0 ? '#' : ' ';
  char line[kWidestLine + 1];
  const int full = std::snprintf(
      line, sizeof line, "  button 1 [%c]  button 2 [%c]   failed: %lld acquisitions, %lld updates",
      lamp1, lamp2, view.failedAcquisitions, view.failedUpdates);
  if (text.Fits(full)) {
    text.Line("%s", line);
  } else {
    text.Line("  button 1 [%c]  button 2 [%c]  failed %lld/%lld", lamp1, lamp2,
              view.failedAcquisitions, view.failedUpdates);
  }
  PutMore(text, view);
  if (view.rumble != RumbleLevel{0, 0}) {
    text.Line("  rumble: strong %3d%%  weak %3d%%", view.rumble.strong * 100 / 65535,
              view.rumble.weak * 100 / 65535);
  }
  return text.Length();
}

void GaugeAcquire(std::uint32_t device, bool ok) {
  if (!ok) {
    ++g_gauge.view.failedAcquisitions;
  }
  Changed(device);
}

void GaugeUpdate(std::uint32_t device, const JoystickPosition& position,
                 const ExtraControls& extras, bool ok) {
  ++g_gauge.view.updates;
  ++g_gauge.windowUpdates;
  if (ok) {
    g_gauge.view.position = position;
    g_gauge.view.extras = extras;
  } else {
    ++g_gauge.view.failedUpdates;
  }
  Changed(device);
}

void GaugeRumble(RumbleLevel level) {
  if (level != g_gauge.view.rumble) {
    g_gauge.view.rumble = level;
    Changed(g_gauge.view.device);
  }
}

int GaugeMillisecondsUntilDue() {
  if (!g_gauge.started || !g_region.CanShow()) {
    return -1;
  }
  Clock::time_point due;
  if (g_gauge.dirty) {
    due = g_gauge.lastDrawing + kFrameInterval;
  } else if (g_gauge.view.ratePerSecond != 0 || g_gauge.windowUpdates != 0) {
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
  if (!g_gauge.started || !g_region.CanShow()) {
    return;
  }
  const auto now = Clock::now();
  MeasureRate(now);
  char text[kGaugeLines * (kWidestLine + 1)];
  const std::size_t length = FormatGauge(g_gauge.view, TerminalColumns(), text, sizeof text);
  g_region.Show(text, length);
  g_gauge.dirty = false;
  g_gauge.lastDrawing = now;
}

void GaugeWriteText(void (*write)(const char*, std::size_t), const char* text, std::size_t length) {
  g_region.WriteText(write, text, length);
  g_gauge.dirty = true;
  GaugeDraw();
}

void GaugeBeforeInput() {
  g_region.BeforeInput();
}

void GaugeAfterInput(int character, bool echoed) {
  g_region.AfterInput(character, echoed);
  g_gauge.dirty = true;
}

void GaugeFinish() {
  GaugeDraw();
  g_region.Freeze();
}

}  // namespace joywire
