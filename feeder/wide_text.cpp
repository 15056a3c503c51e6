#include "feeder/wide_text.h"

#include <cstdint>
#include <type_traits>

namespace joywire {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Reads one code point and advances `at`.
char32_t NextCodePoint(const wchar_t*& at) {
  const auto unit = static_cast<char32_t>(static_cast<std::make_unsigned_t<wchar_t>>(*at++));
  if constexpr (sizeof(wchar_t) == 2) {
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      const auto low = static_cast<char32_t>(static_cast<std::make_unsigned_t<wchar_t>>(*at));
      if (low >= 0xDC00 && low <= 0xDFFF) {
        ++at;
        return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
      }
      return kReplacement;
    }
  }
  if ((unit >= 0xD800 && unit <= 0xDFFF) || unit > 0x10FFFF) {
    return kReplacement;
  }
  return unit;
}

std::size_t EncodeUtf8(char32_t point, unsigned char* bytes) {
  if (point < 0x80) {
    bytes[0] = static_cast<unsigned char>(point);
    return 1;
  }
  if (point < 0x800) {
    bytes[0] = static_cast<unsigned char>(0xC0 | (point >> 6));
    bytes[1] = static_cast<unsigned char>(0x80 | (point & 0x3F));
    return 2;
  }
  if (point < 0x10000) {
    bytes[0] = static_cast<unsigned char>(0xE0 | (point >> 12));
    bytes[1] = static_cast<unsigned char>(0x80 | ((point >> 6) & 0x3F));
    bytes[2] = static_cast<unsigned char>(0x80 | (point & 0x3F));
    return 3;
  }
  bytes[0] = static_cast<unsigned char>(0xF0 | (point >> 18));
  bytes[1] = static_cast<unsigned char>(0x80 | ((point >> 12) & 0x3F));
  bytes[2] = static_cast<unsigned char>(0x80 | ((point >> 6) & 0x3F));
  bytes[3] = static_cast<unsigned char>(0x80 | (point & 0x3F));
  return 4;
}

}  // namespace

void WideToUtf8(const wchar_t* text, char* out, std::size_t capacity) {
  if (capacity == 0) {
    return;
  }
  std::size_t used = 0;
  if (text != nullptr) {
    const wchar_t* at = text;
    while (*at != L'\0') {
      unsigned char bytes[4];
      const std::size_t count = EncodeUtf8(NextCodePoint(at), bytes);
      if (used + count + 1 > capacity) {
        break;
      }
      for (std::size_t i = 0; i < count; ++i) {
        out[used++] = static_cast<char>(bytes[i]);
      }
    }
  }
  out[used] = '\0';
}

void PutWideText(ConsoleWriter& writer, const wchar_t* text) {
  if (text == nullptr) {
    return;
  }
  for (const wchar_t* at = text; *at != L'\0';) {
    unsigned char bytes[4];
    const std::size_t count = EncodeUtf8(NextCodePoint(at), bytes);
    writer.Put(reinterpret_cast<const char*>(bytes), count);
  }
}

}  // namespace joywire
