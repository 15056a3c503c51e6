#include "address/console.h"

#include <cstdarg>
#include <cstdint>

namespace joywire {

void ConsoleWriter::Flush() {
  if (used_ > 0) {
    console_.Write(buffer_, used_);
    used_ = 0;
  }
}

namespace {

// One conversion as written: %[flags][width][.precision][length]conversion.
struct Conversion {
  bool left = false;
  bool plus = false;
  bool space = false;
  bool alternate = false;
  bool zero = false;
  int width = 0;
  int precision = -1;  // none given
  char length[3] = {};
  char kind = '\0';
};

bool Is(const Conversion& conversion, const char* length) {
  return conversion.length[0] == length[0] &&
         (length[0] == '\0' || conversion.length[1] == length[1]);
}

void PutRepeated(ConsoleWriter& writer, char c, int count) {
  for (int i = 0; i < count; ++i) {
    writer.Put(c);
  }
}

// Text padded to the width, on the left unless the '-' flag says otherwise.
void PutPadded(ConsoleWriter& writer, const Conversion& conversion, const char* text,
               std::size_t length) {
  const int padding = conversion.width - static_cast<int>(length);
  if (!conversion.left) {
    PutRepeated(writer, ' ', padding);
  }
  writer.Put(text, length);
  if (conversion.left) {
    PutRepeated(writer, ' ', padding);
  }
}

void PutInteger(ConsoleWriter& writer, const Conversion& conversion, std::uintmax_t magnitude,
                bool negative) {
  const char kind = conversion.kind;
  const unsigned base = kind == 'o' ? 8 : (kind == 'x' || kind == 'X' || kind == 'p' ? 16 : 10);
  const char* digitSet = kind == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
  char digits[64];
  int count = 0;
  for (std::uintmax_t rest = magnitude; rest != 0; rest /= base) {
    digits[count++] = digitSet[rest % base];
  }
  // At least `precision` digits (one when none is given); "%.0d" of 0 has none.
  int minimum = conversion.precision < 0 ? 1 : conversion.precision;
  if (kind == 'o' && conversion.alternate && minimum <= count) {
    minimum = count + 1;  // octal's '#': a leading 0
  }
  const int zeros = minimum > count ? minimum - count : 0;
  char prefix[2];
  int prefixLength = 0;
  if (negative) {
    prefix[prefixLength++] = '-';
  } else if ((kind == 'd' || kind == 'i') && (conversion.plus || conversion.space)) {
    prefix[prefixLength++] = conversion.plus ? '+' : ' ';
  } else if ((conversion.alternate && (kind == 'x' || kind == 'X') && magnitude != 0) ||
             kind == 'p') {
    prefix[prefixLength++] = '0';
    prefix[prefixLength++] = kind == 'X' ? 'X' : 'x';
  }
  const int length = prefixLength + zeros + count;
  const int padding = conversion.width > length ? conversion.width - length : 0;
  const bool padWithZeros = conversion.zero && !conversion.left && conversion.precision < 0;
  if (!conversion.left && !padWithZeros) {
    PutRepeated(writer, ' ', padding);
  }
  writer.Put(prefix, static_cast<std::size_t>(prefixLength));
  PutRepeated(writer, '0', zeros + (padWithZeros ? padding : 0));
  while (count > 0) {
    writer.Put(digits[--count]);
  }
  if (conversion.left) {
    PutRepeated(writer, ' ', padding);
  }
}

// A code point as UTF-8 (for %lc); invalid ones as U+FFFD.
void PutCodePoint(ConsoleWriter& writer, const Conversion& conversion, std::uint32_t point) {
  if (point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) {
    point = 0xFFFD;
  }
  char bytes[4];
  std::size_t length = 0;
  if (point < 0x80) {
    bytes[length++] = static_cast<char>(point);
  } else if (point < 0x800) {
    bytes[length++] = static_cast<char>(0xC0 | (point >> 6));
    bytes[length++] = static_cast<char>(0x80 | (point & 0x3F));
  } else if (point < 0x10000) {
    bytes[length++] = static_cast<char>(0xE0 | (point >> 12));
    bytes[length++] = static_cast<char>(0x80 | ((point >> 6) & 0x3F));
    bytes[length++] = static_cast<char>(0x80 | (point & 0x3F));
  } else {
    bytes[length++] = static_cast<char>(0xF0 | (point >> 18));
    bytes[length++] = static_cast<char>(0x80 | ((point >> 12) & 0x3F));
    bytes[length++] = static_cast<char>(0x80 | ((point >> 6) & 0x3F));
    bytes[length++] = static_cast<char>(0x80 | (point & 0x3F));
  }
  PutPadded(writer, conversion, bytes, length);
}

// Reads the conversion's text after '%'; `at` is left on its conversion character.
const char* ReadConversion(const char* at, Conversion& conversion, va_list& arguments) {
  for (;; ++at) {
    if (*at == '-') {
      conversion.left = true;
    } else if (*at == '+') {
      conversion.plus = true;
    } else if (*at == ' ') {
      conversion.space = true;
    } else if (*at == '#') {
      conversion.alternate = true;
    } else if (*at == '0') {
      conversion.zero = true;
    } else {
      break;
    }
  }
  if (*at == '*') {
    conversion.width = va_arg(arguments, int);
    if (conversion.width < 0) {
      conversion.left = true;
      conversion.width = -conversion.width;
    }
    ++at;
  }
  for (; *at >= '0' && *at <= '9'; ++at) {
    conversion.width = conversion.width * 10 + (*at - '0');
  }
  if (*at == '.') {
    ++at;
    conversion.precision = 0;
    if (*at == '*') {
      conversion.precision = va_arg(arguments, int);  // negative: as if none were given
      ++at;
    }
    for (; *at >= '0' && *at <= '9'; ++at) {
      conversion.precision = conversion.precision * 10 + (*at - '0');
    }
  }
  for (int i = 0;
       i < 2 && (*at == 'h' || *at == 'l' || *at == 'j' || *at == 'z' || *at == 't' || *at == 'L');
       ++i) {
    conversion.length[i] = *at++;
  }
  conversion.kind = *at;
  return at;
}

void PutSigned(ConsoleWriter& writer, const Conversion& conversion, va_list& arguments) {
  std::intmax_t value = 0;
  if (Is(conversion, "hh")) {
    value = static_cast<signed char>(va_arg(arguments, int));
  } else if (Is(conversion, "h")) {
    value = static_cast<short>(va_arg(arguments, int));
  } else if (Is(conversion, "ll")) {
    value = va_arg(arguments, long long);
  } else if (Is(conversion, "l")) {
    value = va_arg(arguments, long);
  } else if (Is(conversion, "j")) {
    value = va_arg(arguments, std::intmax_t);
  } else if (Is(conversion, "z")) {
    value = static_cast<std::intmax_t>(va_arg(arguments, std::size_t));
  } else if (Is(conversion, "t")) {
    value = va_arg(arguments, std::ptrdiff_t);
  } else {
    value = va_arg(arguments, int);
  }
  const bool negative = value < 0;
  // The magnitude without overflow, the most negative value included.
  const std::uintmax_t magnitude = negative ? std::uintmax_t{0} - static_cast<std::uintmax_t>(value)
                                            : static_cast<std::uintmax_t>(value);
  PutInteger(writer, conversion, magnitude, negative);
}

// %n: the count of bytes written so far, stored as its length modifier says.
void StoreCount(const Conversion& conversion, va_list& arguments, std::size_t count) {
  if (Is(conversion, "hh")) {
    *va_arg(arguments, signed char*) = static_cast<signed char>(count);
  } else if (Is(conversion, "h")) {
    *va_arg(arguments, short*) = static_cast<short>(count);
  } else if (Is(conversion, "ll")) {
    *va_arg(arguments, long long*) = static_cast<long long>(count);
  } else if (Is(conversion, "l")) {
    *va_arg(arguments, long*) = static_cast<long>(count);
  } else if (Is(conversion, "j")) {
    *va_arg(arguments, std::intmax_t*) = static_cast<std::intmax_t>(count);
  } else if (Is(conversion, "z")) {
    *va_arg(arguments, std::size_t*) = count;
  } else if (Is(conversion, "t")) {
    *va_arg(arguments, std::ptrdiff_t*) = static_cast<std::ptrdiff_t>(count);
  } else {
    *va_arg(arguments, int*) = static_cast<int>(count);
  }
}

void PutUnsigned(ConsoleWriter& writer, const Conversion& conversion, va_list& arguments) {
  std::uintmax_t value = 0;
  if (Is(conversion, "hh")) {
    value = static_cast<unsigned char>(va_arg(arguments, unsigned));
  } else if (Is(conversion, "h")) {
    value = static_cast<unsigned short>(va_arg(arguments, unsigned));
  } else if (Is(conversion, "ll")) {
    value = va_arg(arguments, unsigned long long);
  } else if (Is(conversion, "l")) {
    value = va_arg(arguments, unsigned long);
  } else if (Is(conversion, "j")) {
    value = va_arg(arguments, std::uintmax_t);
  } else if (Is(conversion, "z")) {
    value = va_arg(arguments, std::size_t);
  } else if (Is(conversion, "t")) {
    value = static_cast<std::uintmax_t>(va_arg(arguments, std::ptrdiff_t));
  } else {
    value = va_arg(arguments, unsigned);
  }
  PutInteger(writer, conversion, value, false);
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
    Conversion conversion;
    at = ReadConversion(at + 1, conversion, arguments);
    switch (conversion.kind) {
      case 'd':
      case 'i':
        PutSigned(writer, conversion, arguments);
        break;
      case 'u':
      case 'o':
      case 'x':
      case 'X':
        PutUnsigned(writer, conversion, arguments);
        break;
      case 'c':
        if (Is(conversion, "l")) {
          PutCodePoint(writer, conversion, static_cast<std::uint32_t>(va_arg(arguments, unsigned)));
        } else {
          const char c = static_cast<char>(va_arg(arguments, int));
          PutPadded(writer, conversion, &c, 1);
        }
        break;
      case 's': {
        const char* text = va_arg(arguments, const char*);
        text = text == nullptr ? "(null)" : text;
        std::size_t length = 0;
        while (text[length] != '\0' && (conversion.precision < 0 ||
                                        length < static_cast<std::size_t>(conversion.precision))) {
          ++length;
        }
        PutPadded(writer, conversion, text, length);
        break;
      }
      case 'p':
        PutInteger(writer, conversion,
                   reinterpret_cast<std::uintptr_t>(va_arg(arguments, const void*)), false);
        break;
      case 'n':
        StoreCount(conversion, arguments, writer.Total());
        break;
      case '%':
        writer.Put('%');
        break;
      case '\0':  // a format cut short after '%'
        va_end(arguments);
        return;
      default:  // no conversion at all: written as it stands
        writer.Put('%');
        writer.Put(conversion.kind);
        break;
    }
  }
  va_end(arguments);
}

}  // namespace joywire
