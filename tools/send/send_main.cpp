// joywire-send: sends control datagrams to a joywire feeder.
#include <cstdio>

#include "platform/udp_sender.h"
#include "tools/send/send_mode.h"
#include "tools/send/sender_options.h"

namespace joywire {
namespace {

constexpr char kUsage[] =
    "Usage: joywire-send [--host H] [--port P] [--size BYTES] [RECORD] X Y Z B1 B2\n"
    "       joywire-send [--host H] [--port P] [--size BYTES] [RECORD] [-]\n"
    "       joywire-send [--host H] [--port P] [RECORD] --demo [--rate HZ] [--seconds S]\n"
    "       joywire-send [--host H] [--port P] [RECORD] --flood N [--rate HZ]\n"
    "       joywire-send [--host H] [--port P] [RECORD] --keys [--rate HZ]\n"
    "       joywire-send [--host H] [--port P] --web [--web-address A] [--web-port N]\n"
    "                    [--qr | --no-qr] [--https [--http-port N]] [--new-token]\n"
    "                    [--throttle-rest centre|bottom] [--config-dir DIR]\n"
    "                    [--players N] [--start-feeder PATH]\n"
    "       joywire-send --forget-ca [--config-dir DIR]\n"
    "       joywire-send --pairing [--config-dir DIR] [--qr | --no-qr]\n"
    "  RECORD: the longer record, 56 bytes: [--buttons MASK] [--hat N] [--axes A,B,...]\n"
    "\n"
    "Sends joywire control datagrams: five little-endian 32-bit floats (X, Y, Z axes in\n"
    "-1..1, buttons B1 and B2 pressed when 1).\n"
    "\n";

int Main(int argc, const char* const* argv) {
  SenderOptions options;
  char error[256];
  if (!ParseSenderOptions(argc, argv, options, error, sizeof error)) {
    std::fprintf(stderr, "joywire-send: %s\n", error);
    return 2;
  }
  if (options.mode == SendMode::kHelp) {
    std::fputs(kUsage, stdout);
    PrintSenderOptions(stdout);
    return 0;
  }
  if (options.mode == SendMode::kVersion) {
    std::puts("joywire-send " JOYWIRE_VERSION);
    return 0;
  }
  if (options.mode == SendMode::kForgetCa) {
    return ForgetCertificateAuthority(options);
  }
  if (options.mode == SendMode::kPairing) {
    return ShowPairing(options);
  }
  UdpSender sender{};  // the web mode's player 1; it opens the others' itself
  char host[256];
  PlayerHost(options, 1, host);
  if (!OpenUdpSender(host, options.port, sender, error, sizeof error)) {
    std::fprintf(stderr, "joywire-send: %s\n", error);
    return 1;
  }
  SendModeFunction mode = SendLines;
  switch (options.mode) {
    case SendMode::kSingle:
      mode = SendSingle;
      break;
    case SendMode::kDemo:
      mode = SendDemo;
      break;
    case SendMode::kFlood:
      mode = SendFlood;
      break;
    case SendMode::kKeys:
      mode = SendKeys;
      break;
    case SendMode::kWeb:
      mode = SendWeb;
      break;
    default:
      break;
  }
  const int status = mode(sender, options);
  CloseUdpSender(sender);
  return status;
}

}  // namespace
}  // namespace joywire

int main(int argc, char** argv) {
  return joywire::Main(argc, argv);
}
