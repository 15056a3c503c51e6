#include "platform/stdio/stdio_console.h"

#include <cstdio>

#include "address/console.h"

namespace joywire {

int StdinReadChar() {
  const int c = std::getchar();
  return c == EOF ? kEndOfInput : c;
}

void StdoutWrite(const char* text, std::size_t length) {
  std::fwrite(text, 1, length, stdout);
  std::fflush(stdout);
}

}  // namespace joywire
