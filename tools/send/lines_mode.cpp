// One datagram per line of five numbers on standard input.
#include <cstdio>

#include "platform/terminal.h"
#include "tools/send/send_mode.h"

namespace joywire {

int SendLines(const UdpSender& sender, const SenderOptions& options) {
  if (StandardInputEchoes()) {  // a person at a terminal, who would otherwise see nothing happen
    std::fprintf(stderr,
                 "joywire-send: type five numbers a line (X Y Z B1 B2, for example 0.5 0 0 1 0): "
                 "each line is one datagram to %s:%u; Ctrl-D ends (--help for the other ways)\n",
                 options.host, static_cast<unsigned>(options.port));
  }
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
    if (!SendValues(sender, options, values)) {
      return 1;
    }
  }
  return 0;
}

}  // namespace joywire
