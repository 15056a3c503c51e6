#include "address/console.h"

#include <cstdarg>
#include <cstdio>

namespace joywire {

void Print(const Console& console, const char* format, ...) {
  char line[512];
  va_list arguments;
  va_start(arguments, format);
  const int length = std::vsnprintf(line, sizeof line, format, arguments);
  va_end(arguments);
  if (length <= 0) {
    return;
  }
  const auto written = static_cast<std::size_t>(length) < sizeof line
                           ? static_cast<std::size_t>(length)
                           : sizeof line - 1;
  console.Write(line, written);
}

}  // namespace joywire
