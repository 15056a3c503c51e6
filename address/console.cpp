#include "address/console.h"

#include <charconv>
#include <cstdarg>

namespace joywire {

void ConsoleWriter::Flush() {
  if (used_ > 0) {
    console_.Write(buffer_, used_);
    used_ = 0;
  }
}

namespace {

template <typename Integer>
void PutInteger(ConsoleWriter& writer, Integer value) {
  char digits[16];
  const auto converted = std::to_chars(digits, digits + sizeof digits, value);
  writer.Put(digits, static_cast<std::size_t>(converted.ptr - digits));
}

}  // namespace

void Print(const Console& console, const char* format, ...) {
  ConsoleWriter writer(console);
  va_list arguments;
  va_start(arguments, format);
  for (const char* at = format; *at != '\0'; ++at) {
    if (*at != '%' || at[1] == '\0') {
      writer.Put(*at);
      continue;
    }
    switch (*++at) {
      case 's': {
        const char* text = va_arg(arguments, const char*);
        if (text != nullptr) {
          writer.PutText(text);
        }
        break;
      }
      case 'd':
        PutInteger(writer, va_arg(arguments, int));
        break;
      case 'u':
        PutInteger(writer, va_arg(arguments, unsigned));
        break;
      case '%':
        writer.Put('%');
        break;
      default:
        writer.Put('%');
        writer.Put(*at);
        break;
    }
  }
  va_end(arguments);
}

}  // namespace joywire
