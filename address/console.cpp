#include "address/console.h"

namespace joywire {

void ConsoleWriter::Flush() {
  if (used_ > 0) {
    console_.Write(buffer_, used_);
    used_ = 0;
  }
}

namespace {

void PutNumber(ConsoleWriter& writer, int number) {
  // The magnitude as unsigned, so that the most negative int has one too.
  unsigned magnitude = static_cast<unsigned>(number);
  if (number < 0) {
    writer.Put('-');
    magnitude = 0u - magnitude;
  }
  char digits[10];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  while (count > 0) {
    writer.Put(digits[--count]);
  }
}

}  // namespace

void PrintArguments(const Console& console, const char* format, const PrintArgument* arguments) {
  ConsoleWriter writer(console);
  for (const char* at = format; *at != '\0'; ++at) {
    if (*at != '%') {
      writer.Put(*at);
    } else if (*++at == '%') {
      writer.Put('%');
    } else if (*at == 'd') {
      PutNumber(writer, (arguments++)->number);
    } else {
      const char* text = (arguments++)->text;
      writer.PutText(text != nullptr ? text : "(null)");
    }
  }
}

}  // namespace joywire
