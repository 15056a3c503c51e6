#include "tools/send/sender_options.h"

#include "control/record_tail.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace joywire {

namespace {

bool ParseFloat(const char* text, float& value) {
  char* end = nullptr;
  errno = 0;
  value = std::strtof(text, &end);
  return end != text && *end == '\0';
}

bool ParseNumber(const char* text, double low, double high, double& value) {
  char* end = nullptr;
  value = std::strtod(text, &end);
  return end != text && *end == '\0' && value >= low && value <= high;
}

// A port as a person writes it: decimal digits only (no sign, no fraction, no hexadecimal).
bool ParsePort(const char* text, std::uint16_t& port) {
  unsigned long value = 0;
  const char* at = text;
  for (; *at >= '0' && *at <= '9' && value <= 65535; ++at) {
    value = value * 10 + static_cast<unsigned long>(*at - '0');
  }
  if (at == text || *at != '\0' || value < 1 || value > 65535) {
    return false;
  }
  port = static_cast<std::uint16_t>(value);
  return true;
}

bool IsSeparator(char c) {
  return c == ' ' || c == '\t' || c == ',' || c == '\r' || c == '\n';
}

}  // namespace

bool IsDottedIpv4(const char* text) {
  const char* at = text;
  for (int part = 0; part < 4; ++part) {
    if (part > 0 && *at++ != '.') {
      return false;
    }
    int value = 0;
    int digits = 0;
    const char first = *at;
    for (; *at >= '0' && *at <= '9' && digits < 4; ++at, ++digits) {
      value = value * 10 + (*at - '0');
    }
    // A leading zero is octal to some conversions and refused by others: never what was meant.
    if (digits == 0 || digits > 3 || value > 255 || (digits > 1 && first == '0')) {
      return false;
    }
  }
  return *at == '\0';
}

bool ParseFiveNumbers(const char* text, float values[5]) {
  const char* at = text;
  for (int i = 0; i < 5; ++i) {
    while (IsSeparator(*at)) {
      ++at;
    }
    char* end = nullptr;
    values[i] = std::strtof(at, &end);
    if (end == at || (*end != '\0' && !IsSeparator(*end))) {
      return false;
    }
    at = end;
  }
  while (IsSeparator(*at)) {
    ++at;
  }
  return *at == '\0';
}

// Up to six comma-separated numbers; the axes not named stay at rest.
bool ParseAxisList(const char* text, float axes[kExtraAxisCount]) {
  const char* at = text;
  for (std::size_t axis = 0; axis < kExtraAxisCount; ++axis) {
    char* end = nullptr;
    axes[axis] = std::strtof(at, &end);
    if (end == at || !std::isfinite(axes[axis])) {
      return false;
    }
    if (*end == '\0') {
      return true;
    }
    if (*end != ',') {
      return false;
    }
    at = end + 1;
  }
  return false;
}

namespace {

// The addresses in a --host list, each a name or a dotted address, none empty; 0 when one is.
std::size_t HostCount(const char* list) {
  std::size_t count = 1;
  for (const char* at = list; *at != '\0'; ++at) {
    if (*at == ',') {
      if (at == list || at[1] == '\0' || at[1] == ',') {
        return 0;
      }
      ++count;
    }
  }
  return *list == '\0' ? 0 : count;
}

}  // namespace

void PlayerHost(const SenderOptions& options, int player, char (&host)[256]) {
  const char* item = options.host;
  for (int i = 1; i < player && std::strchr(item, ',') != nullptr; ++i) {
    item = std::strchr(item, ',') + 1;
  }
  const std::size_t length = std::strcspn(item, ",");
  if (item == options.host && length == std::strlen(options.host) && options.players > 1) {
    std::snprintf(host, sizeof host, "127.0.0.%d", player);  // the default, one per device
  } else {
    std::snprintf(host, sizeof host, "%.*s", static_cast<int>(length), item);
  }
}

namespace {

// What the command line says so far, besides the options themselves: the modes named, and
// the first option seen of each kind that goes only with some of them.
struct CommandLine {
  SenderOptions& options;
  int numberCount = 0;
  bool demo = false, flood = false, keys = false, web = false, forgetCa = false, pairing = false;
  bool configDirGiven = false, webPortGiven = false, httpPortGiven = false;
  const char* webOnly = nullptr;      // an option that means nothing without --web
  const char* servingOnly = nullptr;  // a --web option that --pairing has no use for
  const char* recordOnly = nullptr;   // one of the longer record's, which the phone's page sends
  std::size_t sizeGiven = kLongRecordSize;  // --size's, whatever came after it
};

// The kinds of option, for the checks of what goes with what.
enum OptionKind : unsigned {
  kGeneral = 0,
  kWebOnly = 1,     // with --web (or, for --config-dir, --forget-ca) only
  kServing = 2,     // of --web's serving, of no use to --pairing
  kRecordOnly = 4,  // the longer record's: not with --web, and 56 bytes
};

// Where the reason for refusing the command line goes.
struct Refusal {
  char* text;
  std::size_t capacity;
};

// Writes the reason; false, for the option that failed.
bool Refuse(const Refusal& refusal, const char* format, ...) {
  std::va_list parts;
  va_start(parts, format);
  std::vsnprintf(refusal.text, refusal.capacity, format, parts);
  va_end(parts);
  return false;
}

// One option: its name (and another spelling), the name of its value (null when it takes
// none), its kind, what it sets, and its help, each line after the first starting with '\n'.
// A row without `apply` is help only.
struct OptionRow {
  const char* name;
  const char* also;
  const char* value;
  unsigned kind;
  bool (*apply)(CommandLine& line, const char* value, const Refusal& refuse);
  const char* help;
};

bool ApplyPort(const char* option, const char* text, std::uint16_t& port, const Refusal& refuse) {
  return ParsePort(text, port) ||
         Refuse(refuse, "%s takes a number from 1 to 65535, not '%s'", option, text);
}

// "FIRST-LAST", FIRST no higher than LAST.
bool ParsePortRange(const char* text, std::uint16_t (&ports)[2]) {
  const char* dash = std::strchr(text, '-');
  if (dash == nullptr || static_cast<std::size_t>(dash - text) >= 6) {
    return false;
  }
  char first[6] = {};
  std::memcpy(first, text, static_cast<std::size_t>(dash - text));
  return ParsePort(first, ports[0]) && ParsePort(dash + 1, ports[1]) && ports[0] <= ports[1];
}

// Decimal, or hexadecimal after 0x: a leading 0 is no octal here.
bool ParseButtonMask(const char* text, std::uint32_t& mask) {
  const bool hexadecimal = (text[0] == '0' && (text[1] == 'x' || text[1] == 'X'));
  const char* digits = hexadecimal ? text + 2 : text;
  char* end = nullptr;
  errno = 0;
  const unsigned long long value = std::strtoull(digits, &end, hexadecimal ? 16 : 10);
  if (errno != 0 || end == digits || *end != '\0' || !std::isxdigit(digits[0]) ||
      value > 0xFFFFFFFFull) {
    return false;
  }
  mask = static_cast<std::uint32_t>(value);
  return true;
}

bool IsWhole(double value) {
  return value == static_cast<int>(value);
}

constexpr OptionRow kOptions[] = {
    {"X Y Z B1 B2", nullptr, nullptr, kGeneral, nullptr, "send one datagram with these values"},
    {"-", nullptr, nullptr, kGeneral,
     [](CommandLine&, const char*, const Refusal&) { return true; },
     "(or no numbers) one datagram per line of five numbers on standard"
     "\ninput; blank lines and lines starting with # are skipped"},
    {"--demo", nullptr, nullptr, kGeneral,
     [](CommandLine& line, const char*, const Refusal&) { return line.demo = true; },
     "a smooth motion: a circle on X/Y, a ramp on Z, buttons in turn"},
    {"--flood", nullptr, "N", kGeneral,
     [](CommandLine& line, const char* text, const Refusal& refuse) {
       double value = 0.0;
       if (!ParseNumber(text, 1, 1e12, value)) {
         return Refuse(refuse, "--flood takes a count of datagrams, not '%s'", text);
       }
       line.options.count = static_cast<std::uint64_t>(value);
       return line.flood = true;
     },
     "N datagrams as fast as possible (or at --rate); X walks -1..1"},
    {"--keys", nullptr, nullptr, kGeneral,
     [](CommandLine& line, const char*, const Refusal&) { return line.keys = true; },
     "steer from the keyboard: arrows or W/A/S/D move X and Y, Page Up/Down"
     "\nor R/F move Z (0.1 a press), 1 and 2 toggle the buttons, space"
     "\ncentres, q or Esc quits; sent on every key and --rate times a second"},
    {"--web", nullptr, nullptr, kGeneral,
     [](CommandLine& line, const char*, const Refusal&) { return line.web = true; },
     "a controller page for a phone's browser on the local network: open"
     "\nthe address printed; each touch is one datagram, at once"},
    {"--web-address", nullptr, "A", kWebOnly | kServing,
     [](CommandLine& line, const char* text, const Refusal& refuse) {
       line.options.webAddress = text;
       return IsDottedIpv4(text) ||
              Refuse(refuse, "--web-address takes an IPv4 address of this machine, not '%s'", text);
     },
     "serve the page on this address only (default: every IPv4 address;"
     "\n127.0.0.1 for this machine alone)"},
    {"--web-port", nullptr, "N", kWebOnly | kServing,
     [](CommandLine& line, const char* text, const Refusal& refuse) {
       line.webPortGiven = true;
       return ApplyPort("--web-port", text, line.options.webPort, refuse);
     },
     "the page's port (default 8080)"},
    {"--datagrams", "--no-datagrams", nullptr, kWebOnly,
     [](CommandLine& line, const char* text, const Refusal&) {
       line.options.webDatagrams = text[2] == 'd';
       return true;
     },
     "a phone's messages as datagrams (a WebRTC data channel, where a lost"
     "\npacket holds nothing up), or over its WebSocket alone (default:"
     "\ndatagrams where the phone's browser and this build have them)"},
    {"--datagram-ports", nullptr, "N-M", kWebOnly,
     [](CommandLine& line, const char* text, const Refusal& refuse) {
       return ParsePortRange(text, line.options.datagramPorts) ||
              Refuse(refuse,
                     "--datagram-ports takes two ports, the first the lower, as in "
                     "50100-50131, not '%s'",
                     text);
     },
     "the UDP ports the data channels use (default 50100-50131)"},
    {"--qr", "--no-qr", nullptr, kWebOnly,
     [](CommandLine& line, const char* text, const Refusal&) {
       line.options.webQr = text[2] == 'q' ? 1 : 0;
       return true;
     },
     "the page's address as a QR code for the phone's camera: printed or"
     "\nnot (default: printed when standard output is a terminal)"},
    {"--https", nullptr, nullptr, kWebOnly | kServing,
     [](CommandLine& line, const char*, const Refusal&) { return line.options.webHttps = true; },
     "the page over HTTPS (default port 8443), so that tilt works on phones;"
     "\nits certificate comes from a certificate authority of this machine's"
     "\nown, made once, which the plain-HTTP port (8080, or --http-port) offers"
     "\nto phones with the steps to trust it"},
    {"--forget-ca", nullptr, nullptr, kGeneral,
     [](CommandLine& line, const char*, const Refusal&) { return line.forgetCa = true; },
     "delete that certificate authority, and say how to remove it from phones"},
    {"--pairing", nullptr, nullptr, kGeneral,
     [](CommandLine& line, const char*, const Refusal&) { return line.pairing = true; },
     "show the pairing address and QR code of the --web that runs (or ran)"
     "\nwith this folder, for the machine's addresses now"},
    {"--new-token", nullptr, nullptr, kWebOnly | kServing,
     [](CommandLine& line, const char*, const Refusal&) { return line.options.newToken = true; },
     "pair anew: the address printed before no longer steers (the token is"
     "\nkept between starts, so pages and bookmarks pair again by themselves)"},
    {"--throttle-rest", nullptr, "centre|bottom", kWebOnly | kServing,
     [](CommandLine& line, const char* text, const Refusal& refuse) {
       if (std::strcmp(text, "centre") != 0 && std::strcmp(text, "center") != 0 &&
           std::strcmp(text, "bottom") != 0) {
         return Refuse(refuse,
                       "--throttle-rest takes centre or bottom (the throttle's rest), not '%s'",
                       text);
       }
       line.options.throttleRest = text[0] == 'b' ? -1.0f : 0.0f;
       return true;
     },
     "when the phone goes quiet, set Z to 0 or -1 too (for a"
     "\nrobot); by default the throttle stays where it was"},
    {"--players", nullptr, "N", kWebOnly | kServing,
     [](CommandLine& line, const char* text, const Refusal& refuse) {
       double value = 0.0;
       if (!ParseNumber(text, 1, kMaxPlayers, value) || !IsWhole(value)) {
         return Refuse(refuse, "--players takes a number from 1 to %d, not '%s'", kMaxPlayers,
                       text);
       }
       line.options.players = static_cast<int>(value);
       return true;
     },
     "N phones (1-16), each a player of its own: player k steers device k,"
     "\nwhose feeder listens on 127.0.0.k (or the k-th of --host A,B,...);"
     "\nwith 1 (the default) the newest phone takes over"},
    {"--start-feeder", nullptr, "PATH", kWebOnly | kServing,
     [](CommandLine& line, const char* text, const Refusal&) {
       line.options.startFeeder = text;
       return true;
     },
     "also run the feeder PATH (joywire.exe) for each player's device on"
     "\nits address, and end it, after the neutral datagram, when joywire-send ends"},
    {"--config-dir", nullptr, "DIR", kGeneral,
     [](CommandLine& line, const char* text, const Refusal&) {
       line.options.configDir = text;
       return line.configDirGiven = true;
     },
     "where the pairing token and the certificate authority are kept"
     "\n(default: $XDG_CONFIG_HOME/joywire or ~/.config/joywire)"},
    {"--host", nullptr, "H", kGeneral,
     [](CommandLine& line, const char* text, const Refusal&) {
       line.options.host = text;
       return true;
     },
     "destination address or name (default 127.0.0.1); with --players, a"
     "\nlist A,B,... of one per player"},
    {"--port", nullptr, "P", kGeneral,
     [](CommandLine& line, const char* text, const Refusal& refuse) {
       return ApplyPort("--port", text, line.options.port, refuse);
     },
     "destination port (default 50000)"},
    {"--rate", nullptr, "HZ", kGeneral,
     [](CommandLine& line, const char* text, const Refusal& refuse) {
       return ParseNumber(text, 0.001, 10000000.0, line.options.rate) ||
              Refuse(refuse, "--rate takes datagrams per second, not '%s'", text);
     },
     "datagrams per second (demo default 60, keys default 30)"},
    {"--seconds", nullptr, "S", kGeneral,
     [](CommandLine& line, const char* text, const Refusal& refuse) {
       return ParseNumber(text, 0.0, 86400.0, line.options.seconds) ||
              Refuse(refuse, "--seconds takes 0 to 86400, not '%s'", text);
     },
     "demo length (default 5)"},
    {"--size", nullptr, "BYTES", kGeneral,
     [](CommandLine& line, const char* text, const Refusal& refuse) {
       double value = 0.0;
       if (!ParseNumber(text, 0, static_cast<double>(kMaxDatagramSize), value)) {
         return Refuse(refuse, "--size takes 0 to %zu bytes, not '%s'", kMaxDatagramSize, text);
       }
       line.options.size = line.sizeGiven = static_cast<std::size_t>(value);
       return true;
     },
     "datagram length: cut or zero-padded from 20 (for testing)"},
    {"--buttons", nullptr, "MASK", kRecordOnly,
     [](CommandLine& line, const char* text, const Refusal& refuse) {
       line.options.buttonMaskGiven = true;
       return ParseButtonMask(text, line.options.tail.buttons) ||
              Refuse(refuse,
                     "--buttons takes a 32-bit mask (0x80000001: buttons 1 and 32), not '%s'",
                     text);
     },
     "the longer record: buttons 1-32 from MASK, decimal or 0x hexadecimal"
     "\n(0x3: 1 and 2); B1 and B2 follow its first two, for feeders that read"
     "\nonly 20 bytes"},
    {"--hat", nullptr, "N", kRecordOnly,
     [](CommandLine& line, const char* text, const Refusal& refuse) {
       double value = 0.0;
       if (!ParseNumber(text, 0, kHatDirections, value) || !IsWhole(value)) {
         return Refuse(refuse, "--hat takes 0 (centred) or 1 to 8 (up, then clockwise), not '%s'",
                       text);
       }
       line.options.tail.hat = static_cast<std::uint8_t>(value);
       return true;
     },
     "the longer record's hat: 0 centred, 1 up, then clockwise to 8"},
    {"--axes", nullptr, "A,B..", kRecordOnly,
     [](CommandLine& line, const char* text, const Refusal& refuse) {
       return ParseAxisList(text, line.options.tail.axes) ||
              Refuse(refuse,
                     "--axes takes 1 to 6 numbers, comma-separated (RX,RY,RZ,slider,dial,wheel), "
                     "not '%s'",
                     text);
     },
     "the longer record's other axes, -1..1: RX,RY,RZ,slider,dial,wheel"
     "\n(those not given at rest: 0, RZ -1); a gamepad's right stick is"
     "\nRX,RY, its right trigger RZ"},
    {"--http-port", nullptr, "N", kWebOnly | kServing,  // (its help is --https's)
     [](CommandLine& line, const char* text, const Refusal& refuse) {
       line.httpPortGiven = true;
       return ApplyPort("--http-port", text, line.options.httpPort, refuse);
     },
     nullptr},
    {"--version", nullptr, nullptr, kGeneral, nullptr, "print the version"},
    {"-h", "--help", nullptr, kGeneral, nullptr, "print this text"},
};

const OptionRow* OptionNamed(const char* arg) {
  for (const OptionRow& row : kOptions) {
    if (row.apply != nullptr && (std::strcmp(arg, row.name) == 0 ||
                                 (row.also != nullptr && std::strcmp(arg, row.also) == 0))) {
      return &row;
    }
  }
  return nullptr;
}

// Whether the options named go together, and the mode they make.
bool CheckCombination(CommandLine& line, int argc, const Refusal& refuse) {
  SenderOptions& options = line.options;
  if ((line.demo ? 1 : 0) + (line.flood ? 1 : 0) + (line.keys ? 1 : 0) + (line.web ? 1 : 0) +
          (line.numberCount > 0 ? 1 : 0) >
      1) {
    return Refuse(refuse, "choose one of: five numbers, --demo, --flood N, --keys, --web");
  }
  if (line.pairing) {
    if (line.web || line.forgetCa || line.numberCount > 0 || line.demo || line.flood || line.keys ||
        line.servingOnly != nullptr) {
      return Refuse(refuse, "--pairing goes alone (with --config-dir, --qr)");
    }
    options.mode = SendMode::kPairing;
    return true;
  }
  if (line.recordOnly != nullptr && (line.web || line.forgetCa)) {
    return Refuse(refuse, "%s does not go with --web: the phone's layout sends its own record",
                  line.recordOnly);
  }
  if (line.recordOnly != nullptr && line.sizeGiven != kLongRecordSize) {
    return Refuse(refuse, "--size %zu contradicts %s: the longer record is %zu bytes",
                  line.sizeGiven, line.recordOnly, kLongRecordSize);
  }
  if ((line.webOnly != nullptr || line.configDirGiven) && !line.web && !line.forgetCa) {
    return Refuse(refuse, "%s goes with --web",
                  line.webOnly != nullptr ? line.webOnly : "--config-dir");
  }
  if (line.forgetCa) {
    if (argc != (line.configDirGiven ? 4 : 2)) {
      return Refuse(refuse, "--forget-ca goes alone");
    }
    options.mode = SendMode::kForgetCa;
    return true;
  }
  if (line.httpPortGiven && !options.webHttps) {
    return Refuse(refuse, "--http-port goes with --https");
  }
  if (options.webHttps && !line.webPortGiven) {
    options.webPort = kDefaultHttpsPort;
  }
  if (options.webHttps && options.webPort == options.httpPort) {
    return Refuse(refuse, "--web-port and --http-port must differ");
  }
  const std::size_t hosts = HostCount(options.host);
  if (hosts == 0) {
    return Refuse(refuse, "--host takes an address, or with --players a list of them");
  }
  if (hosts > 1 && !line.web) {
    return Refuse(refuse, "--host takes a list of addresses only with --web --players");
  }
  if (hosts > 1 ? hosts != static_cast<std::size_t>(options.players)
                : options.players > 1 && std::strcmp(options.host, kDefaultSendHost) != 0) {
    return Refuse(refuse,
                  "--players %d sends to 127.0.0.1 to 127.0.0.%d, or to as many addresses given as "
                  "--host A,B,...; --host has %zu",
                  options.players, options.players, hosts);
  }
  if (line.numberCount > 0 && line.numberCount < 5) {
    return Refuse(refuse, "expected five numbers (X Y Z B1 B2), got %d", line.numberCount);
  }
  if (line.numberCount == 5) {
    options.mode = SendMode::kSingle;
  } else if (line.demo) {
    options.mode = SendMode::kDemo;
    options.rate = options.rate < 0 ? kDefaultDemoRate : options.rate;
  } else if (line.flood) {
    options.mode = SendMode::kFlood;
  } else if (line.keys) {
    options.mode = SendMode::kKeys;
    options.rate = options.rate < 0 ? kDefaultKeysRate : options.rate;
  } else if (line.web) {
    options.mode = SendMode::kWeb;
  }
  options.rate = options.rate < 0 ? 0.0 : options.rate;
  return true;
}

}  // namespace

bool ParseSenderOptions(int argc, const char* const* argv, SenderOptions& options, char* error,
                        std::size_t errorCapacity) {
  options = SenderOptions{};
  options.mode = SendMode::kLines;
  options.host = kDefaultSendHost;
  options.port = kDefaultSendPort;
  options.rate = -1.0;
  options.seconds = kDefaultDemoSeconds;
  options.size = 20;
  options.tail = RecordTail{kHatCentred, 0, {0.0f, 0.0f, -1.0f, 0.0f, 0.0f, 0.0f}};
  options.webPort = kDefaultWebPort;
  options.webQr = -1;
  options.httpPort = kDefaultWebPort;
  options.webDatagrams = true;
  options.datagramPorts[0] = kDefaultDatagramPorts[0];
  options.datagramPorts[1] = kDefaultDatagramPorts[1];
  options.throttleRest = kThrottleStays;
  options.players = 1;
  CommandLine line{options};
  const Refusal refuse{error, errorCapacity};
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0) {
      options.mode = SendMode::kHelp;
      return true;
    }
    if (std::strcmp(arg, "--version") == 0) {
      options.mode = SendMode::kVersion;
      return true;
    }
    const OptionRow* row = OptionNamed(arg);
    if (row != nullptr && (row->value == nullptr || i + 1 < argc)) {
      if (!row->apply(line, row->value != nullptr ? argv[++i] : arg, refuse)) {
        return false;
      }
      const char*& first = (row->kind & kRecordOnly) != 0 ? line.recordOnly : line.webOnly;
      first = row->kind != kGeneral ? arg : first;
      line.servingOnly = (row->kind & kServing) != 0 ? arg : line.servingOnly;
      if ((row->kind & kRecordOnly) != 0) {
        options.longRecord = true;
        options.size = kLongRecordSize;
      }
    } else if (float number = 0; ParseFloat(arg, number) && line.numberCount < 5) {
      options.values[line.numberCount++] = number;
    } else if (row != nullptr) {
      return Refuse(refuse, "%s needs a value (see --help)", arg);
    } else {
      return Refuse(refuse, "unexpected argument '%s' (see --help)", arg);
    }
  }
  return CheckCombination(line, argc, refuse);
}

void PrintSenderOptions(std::FILE* out) {
  for (const OptionRow& row : kOptions) {
    if (row.help == nullptr) {
      continue;
    }
    char label[48];
    std::snprintf(label, sizeof label, "%s%s%s%s%s", row.name, row.also != nullptr ? ", " : "",
                  row.also != nullptr ? row.also : "", row.value != nullptr ? " " : "",
                  row.value != nullptr ? row.value : "");
    // The help from column 17, or two spaces after a label that reaches it; later lines under it.
    const int length = static_cast<int>(std::strlen(label));
    const int width = length < 15 ? 15 : length + 2;
    std::fprintf(out, "  %-*s", width, label);
    for (const char* at = row.help; *at != '\0'; ++at) {
      std::fputc(*at, out);
      if (*at == '\n') {
        std::fprintf(out, "%17s", "");
      }
    }
    std::fputc('\n', out);
  }
}

}  // namespace joywire
