// The stick from the keyboard (--keys): sent at once on every key, and at the rate in between.
#include <chrono>
#include <cstdio>

#include "control/rumble.h"
#include "platform/key_input.h"
#include "platform/live_region.h"
#include "tools/send/key_control.h"
#include "tools/send/send_mode.h"

namespace joywire {

namespace {

void WriteTerminal(const char* text, std::size_t length) {
  std::fwrite(text, 1, length, stdout);
  std::fflush(stdout);
}

// The stick's line, kept under the key help; the keys are read without echo already.
LiveRegion g_region(WriteTerminal, false);

// The rumble the feeder sent back, while it holds.
struct Felt {
  RumbleLevel level{0, 0};
  std::chrono::steady_clock::time_point until{};
};

void ReadRumble(const UdpSender& sender, Felt& felt) {
  std::uint8_t bytes[64];
  RumbleLevel level{};
  std::uint16_t hold = 0;
  for (std::size_t size; (size = ReceiveSentBack(sender, bytes, sizeof bytes)) > 0;) {
    if (DecodeRumble(bytes, size, level, hold)) {
      felt = {level, std::chrono::steady_clock::now() + std::chrono::milliseconds(hold)};
    }
  }
}

void ShowStick(const KeyboardStick& stick, const Felt& felt) {
  char line[160];
  std::size_t length = FormatStick(stick, line, sizeof line - 1);
  const bool rumbling =
      felt.level != RumbleLevel{0, 0} && std::chrono::steady_clock::now() < felt.until;
  if (rumbling && length < sizeof line - 40) {
    length += static_cast<std::size_t>(
        std::snprintf(line + length, sizeof line - length, "  rumble %3d%% %3d%%",
                      felt.level.strong * 100 / 65535, felt.level.weak * 100 / 65535));
  }
  length = length < sizeof line - 2 ? length : sizeof line - 2;
  line[length++] = '\n';
  g_region.Show(line, length);
}

}  // namespace

int SendKeys(const UdpSender& sender, const SenderOptions& options) {
  if (!OpenKeyInput()) {
    std::fprintf(stderr, "joywire-send: --keys needs a terminal on standard input\n");
    return 2;
  }
  std::printf(
      "joywire-send: steering %s:%u\n"
      "  arrows or W/A/S/D: X and Y   Page Up/Down or R/F: Z   1, 2: buttons\n"
      "  space: centre   q or Esc: quit\n",
      options.host, static_cast<unsigned>(options.port));
  std::fflush(stdout);
  const auto period = std::chrono::duration<double>(1.0 / options.rate);
  KeyboardStick stick{};
  Felt felt;
  int status = 0;
  auto due = std::chrono::steady_clock::now();
  for (;;) {
    float values[5];
    StickValues(stick, values);
    if (!SendValues(sender, options, values)) {
      status = 1;
      break;
    }
    ReadRumble(sender, felt);
    ShowStick(stick, felt);
    due = NextSendTime(due, std::chrono::duration_cast<std::chrono::steady_clock::duration>(period),
                       std::chrono::steady_clock::now());
    StickAction action = StickAction::kIgnored;
    while (action == StickAction::kIgnored) {  // keys of no use do not disturb the pace
      const auto now = std::chrono::steady_clock::now();
      const auto wait = due > now ? std::chrono::ceil<std::chrono::milliseconds>(due - now)
                                  : std::chrono::milliseconds(0);
      action = ActionOfKey(ReadKey(static_cast<int>(wait.count())));
    }
    if (action == StickAction::kNone) {
      continue;  // time for the next datagram at the rate
    }
    if (action == StickAction::kInputEnded) {
      std::fprintf(stderr, "joywire-send: the terminal is gone (end of input); stopped\n");
      status = 1;
      break;
    }
    if (!ApplyAction(stick, action)) {
      break;
    }
    due = std::chrono::steady_clock::now();  // a key is sent at once
  }
  CloseKeyInput();
  g_region.Freeze();  // the last position stays, above the shell's prompt
  return status;
}

}  // namespace joywire
