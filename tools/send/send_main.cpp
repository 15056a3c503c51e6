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
    "\n"
    "  X Y Z B1 B2    send one datagram with these values\n"
    "  -              (or no numbers) one datagram per line of five numbers on standard\n"
    "                 input; blank lines and lines starting with # are skipped\n"
    "  --demo         a smooth motion: a circle on X/Y, a ramp on Z, buttons in turn\n"
    "  --flood N      N datagrams as fast as possible (or at --rate); X walks -1..1\n"
    "  --keys         steer from the keyboard: arrows or W/A/S/D move X and Y, Page Up/Down\n"
    "                 or R/F move Z (0.1 a press), 1 and 2 toggle the buttons, space\n"
    "                 centres, q or Esc quits; sent on every key and --rate times a second\n"
    "  --web          a controller page for a phone's browser on the local network: open\n"
    "                 the address printed; each touch is one datagram, at once\n"
    "  --web-address A  serve the page on this address only (default: every IPv4 address;\n"
    "                 127.0.0.1 for this machine alone)\n"
    "  --web-port N   the page's port (default 8080)\n"
    "  --qr, --no-qr  the page's address as a QR code for the phone's camera: printed or\n"
    "                 not (default: printed when standard output is a terminal)\n"
    "  --https        the page over HTTPS (default port 8443), so that tilt works on phones;\n"
    "                 its certificate comes from a certificate authority of this machine's\n"
    "                 own, made once, which the plain-HTTP port (8080, or --http-port) offers\n"
    "                 to phones with the steps to trust it\n"
    "  --forget-ca    delete that certificate authority, and say how to remove it from phones\n"
    "  --pairing      show the pairing address and QR code of the --web that runs (or ran)\n"
    "                 with this folder, for the machine's addresses now\n"
    "  --new-token    pair anew: the address printed before no longer steers (the token is\n"
    "                 kept between starts, so pages and bookmarks pair again by themselves)\n"
    "  --throttle-rest centre|bottom  when the phone goes quiet, set Z to 0 or -1 too (for a\n"
    "                 robot); by default the throttle stays where it was\n"
    "  --players N    N phones (1-16), each a player of its own: player k steers device k,\n"
    "                 whose feeder listens on 127.0.0.k (or the k-th of --host A,B,...);\n"
    "                 with 1 (the default) the newest phone takes over\n"
    "  --start-feeder PATH  also run the feeder PATH (joywire.exe) for each player's device on\n"
    "                 its address, and end it, after the neutral datagram, when joywire-send ends\n"
    "  --config-dir DIR  where the pairing token and the certificate authority are kept\n"
    "                 (default: $XDG_CONFIG_HOME/joywire or ~/.config/joywire)\n"
    "  --host H       destination address or name (default 127.0.0.1); with --players, a\n"
    "                 list A,B,... of one per player\n"
    "  --port P       destination port (default 50000)\n"
    "  --rate HZ      datagrams per second (demo default 60, keys default 30)\n"
    "  --seconds S    demo length (default 5)\n"
    "  --size BYTES   datagram length: cut or zero-padded from 20 (for testing)\n"
    "  --buttons MASK the longer record: buttons 1-32 from MASK, decimal or 0x hexadecimal\n"
    "                 (0x3: 1 and 2); B1 and B2 follow its first two, for feeders that read\n"
    "                 only 20 bytes\n"
    "  --hat N        the longer record's hat: 0 centred, 1 up, then clockwise to 8\n"
    "  --axes A,B..   the longer record's other axes, -1..1: RX,RY,RZ,slider,dial,wheel\n"
    "                 (those not given at rest: 0, RZ -1); a gamepad's right stick is\n"
    "                 RX,RY, its right trigger RZ\n"
    "  --version      print the version\n"
    "  -h, --help     print this text\n";

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
