// joywire-send: sends control datagrams to a joywire feeder.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "control/control_packet.h"
#include "platform/key_input.h"
#include "platform/udp_sender.h"
#include "tools/send/demo_motion.h"
#include "tools/send/key_control.h"
#include "tools/send/sender_options.h"

namespace joywire {
namespace {

constexpr char kUsage[] =
    "Usage: joywire-send [--host H] [--port P] [--size BYTES] X Y Z B1 B2\n"
    "       joywire-send [--host H] [--port P] [--size BYTES] [-]\n"
    "       joywire-send [--host H] [--port P] --demo [--rate HZ] [--seconds S]\n"
    "       joywire-send [--host H] [--port P] --flood N [--rate HZ]\n"
    "       joywire-send [--host H] [--port P] --keys [--rate HZ]\n"
    "\n"
    "Sends joywire control datagrams: five little-endian 32-bit floats (X, Y, Z axes in\n"
    "-1..1, buttons B1 and B2 pressed when 1).\n"
    "\n"
    "  X Y Z B1 B2    send one datagram with these values\n"
    "  -              (or no numbers) one datagram per line of five numbers on standard\n"
    "                 input; blank lines and lines starting with # are skipped\n"
    "  --demo         a smooth motion: a circle on X/Y, a ramp on Z, buttons in turn\n"
    "  --flood N      N datagrams as fast as possible (or at --rate); X walks -1..1\n"
    "  --keys         steer from the keyboard: arrows or W/A/S/D move X and Y, Page Up/Down\n"
    "                 or R/F move Z (0.1 a press), 1 and 2 toggle the buttons, space\n"
    "                 centres, q or Esc quits; sent on every key and --rate times a second\n"
    "  --host H       destination address or name (default 127.0.0.1)\n"
    "  --port P       destination port (default 50000)\n"
    "  --rate HZ      datagrams per second (demo default 60, keys default 30)\n"
    "  --seconds S    demo length (default 5)\n"
    "  --size BYTES   datagram length: cut or zero-padded from 20 (for testing)\n"
    "  --version      print the version\n"
    "  -h, --help     print this text\n";

// Room for the largest datagram a test may ask for.
unsigned char g_datagram[kMaxDatagramSize];

class Pacer {
 public:
  explicit Pacer(double rate) : rate_(rate), start_(std::chrono::steady_clock::now()) {}

  double Elapsed() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }

  // Waits until datagram number `sent` (0-based) is due.
  void WaitFor(std::uint64_t sent) const {
    if (rate_ <= 0) {
      return;
    }
    const double due = static_cast<double>(sent) / rate_;
    const double now = Elapsed();
    if (due > now + 0.0002) {
      std::this_thread::sleep_for(std::chrono::duration<double>(due - now));
    }
  }

 private:
  double rate_;
  std::chrono::steady_clock::time_point start_;
};

bool Send(const UdpSender& sender, const SenderOptions& options, const float values[5]) {
  ControlPacket packet{};
  for (std::size_t i = 0; i < 5; ++i) {
    WritePacketValue(packet, i, values[i]);
  }
  std::memset(g_datagram, 0, options.size > 20 ? options.size : 20);
  std::memcpy(g_datagram, packet.bytes, 20);
  if (!SendDatagram(sender, g_datagram, options.size)) {
    std::fprintf(stderr, "joywire-send: sending to %s:%u failed\n", options.host,
                 static_cast<unsigned>(options.port));
    return false;
  }
  return true;
}

int SendLines(const UdpSender& sender, const SenderOptions& options) {
  char line[512];
  unsigned long lineNumber = 0;
  while (std::fgets(line, sizeof line, stdin) != nullptr) {
    ++lineNumber;
    const char* text = line;
    while (*text == ' ' || *text == '\t') {
      ++text;
    }
    if (*text == '\0' || *text == '\n' || *text == '\r' || *text == '#') {
      continue;
    }
    float values[5];
    if (!ParseFiveNumbers(text, values)) {
      std::fprintf(stderr, "joywire-send: line %lu: expected five numbers (X Y Z B1 B2)\n",
                   lineNumber);
      return 2;
    }
    if (!Send(sender, options, values)) {
      return 1;
    }
  }
  return 0;
}

int SendDemo(const UdpSender& sender, const SenderOptions& options) {
  const Pacer pacer(options.rate);
  const auto total = static_cast<std::uint64_t>(options.seconds * options.rate);
  for (std::uint64_t sent = 0; sent < total; ++sent) {
    pacer.WaitFor(sent);
    float values[5];
    DemoMotion(static_cast<double>(sent) / options.rate, values);
    if (!Send(sender, options, values)) {
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
    if (!Send(sender, options, values)) {
      return 1;
    }
  }
  const double elapsed = pacer.Elapsed();
  std::fprintf(stderr, "joywire-send: sent %llu datagrams in %.3f s (%.0f per second)\n",
               static_cast<unsigned long long>(options.count), elapsed,
               elapsed > 0 ? static_cast<double>(options.count) / elapsed : 0.0);
  return 0;
}

void ShowStick(const KeyboardStick& stick) {
  char line[128];
  const std::size_t length = FormatStick(stick, line, sizeof line);
  std::printf("\r%.*s", static_cast<int>(length), line);
  std::fflush(stdout);
}

// The stick from the keyboard: sent at once on every key, and at the rate in between.
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
  const auto period = std::chrono::duration<double>(1.0 / options.rate);
  KeyboardStick stick{};
  int status = 0;
  auto due = std::chrono::steady_clock::now();
  for (;;) {
    float values[5];
    StickValues(stick, values);
    if (!Send(sender, options, values)) {
      status = 1;
      break;
    }
    ShowStick(stick);
    due = NextSendTime(due, std::chrono::duration_cast<std::chrono::steady_clock::duration>(period),
                       std::chrono::steady_clock::now());
    Key key = Key::kOther;
    while (key == Key::kOther) {  // keys of no use do not disturb the pace
      const auto now = std::chrono::steady_clock::now();
      const auto wait = due > now ? std::chrono::ceil<std::chrono::milliseconds>(due - now)
                                  : std::chrono::milliseconds(0);
      key = KeyFromTerminal(ReadKey(static_cast<int>(wait.count())));
    }
    if (key == Key::kNone) {
      continue;  // time for the next datagram at the rate
    }
    if (key == Key::kInputEnded) {
      std::fprintf(stderr, "\njoywire-send: the terminal is gone (end of input); stopped\n");
      status = 1;
      break;
    }
    if (!ApplyKey(stick, key)) {
      break;
    }
    due = std::chrono::steady_clock::now();  // a key is sent at once
  }
  CloseKeyInput();
  std::printf("\n");
  return status;
}

int Main(int argc, const char* const* argv) {
  SenderOptions options;
  char error[256];
  if (!ParseSenderOptions(argc, argv, options, error, sizeof error)) {
    std::fprintf(stderr, "joywire-send: %s\n", error);
    return 2;
  }
  if (options.mode == SendMode::kHelp) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (options.mode == SendMode::kVersion) {
    std::puts("joywire-send " JOYWIRE_VERSION);
    return 0;
  }
  UdpSender sender{};
  if (!OpenUdpSender(options.host, options.port, sender, error, sizeof error)) {
    std::fprintf(stderr, "joywire-send: %s\n", error);
    return 1;
  }
  int status = 0;
  switch (options.mode) {
    case SendMode::kSingle:
      status = Send(sender, options, options.values) ? 0 : 1;
      break;
    case SendMode::kLines:
      status = SendLines(sender, options);
      break;
    case SendMode::kDemo:
      status = SendDemo(sender, options);
      break;
    case SendMode::kFlood:
      status = SendFlood(sender, options);
      break;
    case SendMode::kKeys:
      status = SendKeys(sender, options);
      break;
    default:
      break;
  }
  CloseUdpSender(sender);
  return status;
}

}  // namespace
}  // namespace joywire

int main(int argc, char** argv) {
  return joywire::Main(argc, argv);
}
