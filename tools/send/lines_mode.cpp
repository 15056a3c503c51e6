// One datagram per line of five numbers on standard input.
#include <cstdio>

#include "tools/send/send_mode.h"

namespace joywire {

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
    if (!SendValues(sender, options, values)) {
      return 1;
    }
  }
  return 0;
}

}  // namespace joywire
