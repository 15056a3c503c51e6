#include "tools/send/sender_options.h"

#include "control/record_tail.h"

#include <cctype>
#include <cerrno>
#include <cmath>
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

// The options that take a value after them.
bool TakesValue(const char* option) {
  static constexpr const char* kWithValue[] = {
      "--host",          "--port",       "--rate",        "--seconds",
      "--size",          "--buttons",    "--hat",         "--axes",
      "--flood",         "--config-dir", "--players",     "--start-feeder",
      "--throttle-rest", "--http-port",  "--web-address", "--web-port"};
  for (const char* known : kWithValue) {
    if (std::strcmp(option, known) == 0) {
      return true;
    }
  }
  return false;
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
  options.throttleRest = kThrottleStays;
  options.players = 1;
  bool webPortGiven = false;
  bool forgetCa = false;
  bool configDirGiven = false;
  bool pairing = false;
  const char* servingOnly = nullptr;  // a --web option that --pairing has no use for
  bool httpPortGiven = false;

  int numberCount = 0;
  bool demo = false;
  bool flood = false;
  bool keys = false;
  bool web = false;
  const char* webOnly = nullptr;     // an option that means nothing without --web
  const char* recordOnly = nullptr;  // one of the longer record's, which the phone's page sends
  std::size_t sizeGiven = kLongRecordSize;  // --size's, whatever came after it

  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    const bool hasValue = i + 1 < argc;
    double value = 0.0;
    if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0) {
      options.mode = SendMode::kHelp;
      return true;
    }
    if (std::strcmp(arg, "--version") == 0) {
      options.mode = SendMode::kVersion;
      return true;
    }
    if (std::strcmp(arg, "--host") == 0 && hasValue) {
      options.host = argv[++i];
    } else if (std::strcmp(arg, "--port") == 0 && hasValue) {
      if (!ParsePort(argv[++i], options.port)) {
        std::snprintf(error, errorCapacity, "--port takes a number from 1 to 65535, not '%s'",
                      argv[i]);
        return false;
      }
    } else if (std::strcmp(arg, "--rate") == 0 && hasValue) {
      if (!ParseNumber(argv[++i], 0.001, 10000000.0, value)) {
        std::snprintf(error, errorCapacity, "--rate takes datagrams per second, not '%s'", argv[i]);
        return false;
      }
      options.rate = value;
    } else if (std::strcmp(arg, "--seconds") == 0 && hasValue) {
      if (!ParseNumber(argv[++i], 0.0, 86400.0, value)) {
        std::snprintf(error, errorCapacity, "--seconds takes 0 to 86400, not '%s'", argv[i]);
        return false;
      }
      options.seconds = value;
    } else if (std::strcmp(arg, "--size") == 0 && hasValue) {
      if (!ParseNumber(argv[++i], 0, static_cast<double>(kMaxDatagramSize), value)) {
        std::snprintf(error, errorCapacity, "--size takes 0 to %zu bytes, not '%s'",
                      kMaxDatagramSize, argv[i]);
        return false;
      }
      options.size = static_cast<std::size_t>(value);
      sizeGiven = static_cast<std::size_t>(value);
    } else if (std::strcmp(arg, "--buttons") == 0 && hasValue) {
      // Decimal, or hexadecimal after 0x: a leading 0 is no octal here.
      const char* text = argv[++i];
      const bool hexadecimal = (text[0] == '0' && (text[1] == 'x' || text[1] == 'X'));
      const char* digits = hexadecimal ? text + 2 : text;
      char* end = nullptr;
      errno = 0;
      const unsigned long long mask = std::strtoull(digits, &end, hexadecimal ? 16 : 10);
      if (errno != 0 || end == digits || *end != '\0' || !std::isxdigit(digits[0]) ||
          mask > 0xFFFFFFFFull) {
        std::snprintf(error, errorCapacity,
                      "--buttons takes a 32-bit mask (0x80000001: buttons 1 and 32), not '%s'",
                      argv[i]);
        return false;
      }
      options.longRecord = options.buttonMaskGiven = true;
      options.tail.buttons = static_cast<std::uint32_t>(mask);
      options.size = kLongRecordSize;
      recordOnly = arg;
    } else if (std::strcmp(arg, "--hat") == 0 && hasValue) {
      if (!ParseNumber(argv[++i], 0, kHatDirections, value) || value != static_cast<int>(value)) {
        std::snprintf(error, errorCapacity,
                      "--hat takes 0 (centred) or 1 to 8 (up, then clockwise), not '%s'", argv[i]);
        return false;
      }
      options.longRecord = true;
      options.tail.hat = static_cast<std::uint8_t>(value);
      options.size = kLongRecordSize;
      recordOnly = arg;
    } else if (std::strcmp(arg, "--axes") == 0 && hasValue) {
      if (!ParseAxisList(argv[++i], options.tail.axes)) {
        std::snprintf(error, errorCapacity,
                      "--axes takes 1 to 6 numbers, comma-separated (RX,RY,RZ,slider,dial,wheel), "
                      "not '%s'",
                      argv[i]);
        return false;
      }
      options.longRecord = true;
      options.size = kLongRecordSize;
      recordOnly = arg;
    } else if (std::strcmp(arg, "--demo") == 0) {
      demo = true;
    } else if (std::strcmp(arg, "--keys") == 0) {
      keys = true;
    } else if (std::strcmp(arg, "--web") == 0) {
      web = true;
    } else if (std::strcmp(arg, "--https") == 0) {
      webOnly = servingOnly = arg;
      options.webHttps = true;
    } else if (std::strcmp(arg, "--forget-ca") == 0) {
      forgetCa = true;
    } else if (std::strcmp(arg, "--pairing") == 0) {
      pairing = true;
    } else if (std::strcmp(arg, "--config-dir") == 0 && hasValue) {
      options.configDir = argv[++i];
      configDirGiven = true;
    } else if (std::strcmp(arg, "--players") == 0 && hasValue) {
      webOnly = servingOnly = arg;
      if (!ParseNumber(argv[++i], 1, kMaxPlayers, value) || value != static_cast<int>(value)) {
        std::snprintf(error, errorCapacity, "--players takes a number from 1 to %d, not '%s'",
                      kMaxPlayers, argv[i]);
        return false;
      }
      options.players = static_cast<int>(value);
    } else if (std::strcmp(arg, "--start-feeder") == 0 && hasValue) {
      webOnly = servingOnly = arg;
      options.startFeeder = argv[++i];
    } else if (std::strcmp(arg, "--new-token") == 0) {
      webOnly = servingOnly = arg;
      options.newToken = true;
    } else if (std::strcmp(arg, "--throttle-rest") == 0 && hasValue) {
      webOnly = servingOnly = arg;
      ++i;
      if (std::strcmp(argv[i], "centre") != 0 && std::strcmp(argv[i], "center") != 0 &&
          std::strcmp(argv[i], "bottom") != 0) {
        std::snprintf(error, errorCapacity,
                      "--throttle-rest takes centre or bottom (the throttle's rest), not '%s'",
                      argv[i]);
        return false;
      }
      options.throttleRest = argv[i][0] == 'b' ? -1.0f : 0.0f;
    } else if (std::strcmp(arg, "--http-port") == 0 && hasValue) {
      webOnly = servingOnly = arg;
      httpPortGiven = true;
      if (!ParsePort(argv[++i], options.httpPort)) {
        std::snprintf(error, errorCapacity, "--http-port takes a number from 1 to 65535, not '%s'",
                      argv[i]);
        return false;
      }
    } else if (std::strcmp(arg, "--qr") == 0 || std::strcmp(arg, "--no-qr") == 0) {
      webOnly = arg;
      options.webQr = arg[2] == 'q' ? 1 : 0;
    } else if (std::strcmp(arg, "--web-address") == 0 && hasValue) {
      webOnly = servingOnly = arg;
      if (!IsDottedIpv4(argv[++i])) {
        std::snprintf(error, errorCapacity,
                      "--web-address takes an IPv4 address of this machine, not '%s'", argv[i]);
        return false;
      }
      options.webAddress = argv[i];
    } else if (std::strcmp(arg, "--web-port") == 0 && hasValue) {
      webOnly = servingOnly = arg;
      if (!ParsePort(argv[++i], options.webPort)) {
        std::snprintf(error, errorCapacity, "--web-port takes a number from 1 to 65535, not '%s'",
                      argv[i]);
        return false;
      }
      webPortGiven = true;
    } else if (std::strcmp(arg, "--flood") == 0 && hasValue) {
      if (!ParseNumber(argv[++i], 1, 1e12, value)) {
        std::snprintf(error, errorCapacity, "--flood takes a count of datagrams, not '%s'",
                      argv[i]);
        return false;
      }
      flood = true;
      options.count = static_cast<std::uint64_t>(value);
    } else if (std::strcmp(arg, "-") == 0) {
      // Standard input, the default when no numbers are given.
    } else if (float number = 0; ParseFloat(arg, number) && numberCount < 5) {
      options.values[numberCount++] = number;
    } else if (TakesValue(arg) && !hasValue) {
      std::snprintf(error, errorCapacity, "%s needs a value (see --help)", arg);
      return false;
    } else {
      std::snprintf(error, errorCapacity, "unexpected argument '%s' (see --help)", arg);
      return false;
    }
  }

  if ((demo ? 1 : 0) + (flood ? 1 : 0) + (keys ? 1 : 0) + (web ? 1 : 0) +
          (numberCount > 0 ? 1 : 0) >
      1) {
    std::snprintf(error, errorCapacity,
                  "choose one of: five numbers, --demo, --flood N, --keys, --web");
    return false;
  }
  if (pairing) {
    if (web || forgetCa || numberCount > 0 || demo || flood || keys || servingOnly != nullptr) {
      std::snprintf(error, errorCapacity, "--pairing goes alone (with --config-dir, --qr)");
      return false;
    }
    options.mode = SendMode::kPairing;
    return true;
  }
  if (recordOnly != nullptr && (web || pairing || forgetCa)) {
    std::snprintf(error, errorCapacity,
                  "%s does not go with --web: the phone's layout sends its own record", recordOnly);
    return false;
  }
  if (recordOnly != nullptr && sizeGiven != kLongRecordSize) {
    std::snprintf(error, errorCapacity, "--size %zu contradicts %s: the longer record is %zu bytes",
                  sizeGiven, recordOnly, kLongRecordSize);
    return false;
  }
  if ((webOnly != nullptr || configDirGiven) && !web && !forgetCa) {
    webOnly = webOnly != nullptr ? webOnly : "--config-dir";
    std::snprintf(error, errorCapacity, "%s goes with --web", webOnly);
    return false;
  }
  if (forgetCa) {
    if (argc != (configDirGiven ? 4 : 2)) {
      std::snprintf(error, errorCapacity, "--forget-ca goes alone");
      return false;
    }
    options.mode = SendMode::kForgetCa;
    return true;
  }
  if (httpPortGiven && !options.webHttps) {
    std::snprintf(error, errorCapacity, "--http-port goes with --https");
    return false;
  }
  if (options.webHttps && !webPortGiven) {
    options.webPort = kDefaultHttpsPort;
  }
  if (options.webHttps && options.webPort == options.httpPort) {
    std::snprintf(error, errorCapacity, "--web-port and --http-port must differ");
    return false;
  }
  const std::size_t hosts = HostCount(options.host);
  if (hosts == 0) {
    std::snprintf(error, errorCapacity,
                  "--host takes an address, or with --players a list of them");
    return false;
  }
  if (hosts > 1 && !web) {
    std::snprintf(error, errorCapacity,
                  "--host takes a list of addresses only with --web --players");
    return false;
  }
  if (hosts > 1 ? hosts != static_cast<std::size_t>(options.players)
                : options.players > 1 && std::strcmp(options.host, kDefaultSendHost) != 0) {
    std::snprintf(error, errorCapacity,
                  "--players %d sends to 127.0.0.1 to 127.0.0.%d, or to as many addresses given as "
                  "--host A,B,...; --host has %zu",
                  options.players, options.players, hosts);
    return false;
  }
  if (numberCount > 0 && numberCount < 5) {
    std::snprintf(error, errorCapacity, "expected five numbers (X Y Z B1 B2), got %d", numberCount);
    return false;
  }
  if (numberCount == 5) {
    options.mode = SendMode::kSingle;
  } else if (demo) {
    options.mode = SendMode::kDemo;
    if (options.rate < 0) {
      options.rate = kDefaultDemoRate;
    }
  } else if (flood) {
    options.mode = SendMode::kFlood;
  } else if (keys) {
    options.mode = SendMode::kKeys;
    if (options.rate < 0) {
      options.rate = kDefaultKeysRate;
    }
  } else if (web) {
    options.mode = SendMode::kWeb;
  }
  if (options.rate < 0) {
    options.rate = 0.0;
  }
  return true;
}

}  // namespace joywire
