#pragma once

#include <cstddef>
#include <type_traits>

namespace joywire {

inline constexpr int kEndOfInput = -1;

// The console as the run sees it: standard input a byte at a time, standard output, and the
// final wait for the operator. Each platform fills these in; tests script them.
struct Console {
  int (*ReadChar)();                                    // next input byte (0..255) or kEndOfInput
  void (*Write)(const char* text, std::size_t length);  // written and flushed at once
  void (*Pause)();                                      // waits for the operator's key
};

#if defined(__MINGW32__)
// The C99 conversions, not those of the Windows runtime's own printf.
#define JOYWIRE_PRINTF_FORMAT(formatIndex, firstIndex) \
  __attribute__((format(gnu_printf, formatIndex, firstIndex)))
#elif defined(__GNUC__) || defined(__clang__)
#define JOYWIRE_PRINTF_FORMAT(formatIndex, firstIndex) \
  __attribute__((format(printf, formatIndex, firstIndex)))
#else
#define JOYWIRE_PRINTF_FORMAT(formatIndex, firstIndex)
#endif

// printf-style output through the console. The compiler checks every call's arguments against
// its format, and every conversion it accepts comes out as printf would write it: flags, width,
// precision and length modifiers included. A line of any length comes out whole: it is
// formatted through a small fixed buffer that is handed on whenever it fills, so nothing is
// allocated and nothing is cut.
void Print(const Console& console, const char* format, ...) JOYWIRE_PRINTF_FORMAT(2, 3);

// Floating-point values and wide strings have no place in the console's messages: a call that
// passes one does not compile.
template <typename... Arguments>
requires((std::is_floating_point_v<std::decay_t<Arguments>> ||
          std::is_same_v<std::decay_t<Arguments>, const wchar_t*> ||
          std::is_same_v<std::decay_t<Arguments>, wchar_t*>) ||
         ...) void Print(const Console& console, const char* format,
                         Arguments&&... arguments) = delete;

// Hands text on through a fixed buffer, in as few writes as the buffer allows.
class ConsoleWriter {
 public:
  explicit ConsoleWriter(const Console& console) : console_(console) {}
  ConsoleWriter(const ConsoleWriter&) = delete;
  ConsoleWriter& operator=(const ConsoleWriter&) = delete;
  ~ConsoleWriter() { Flush(); }

  void Put(char c) {
    if (used_ == sizeof buffer_) {
      Flush();
    }
    buffer_[used_++] = c;
    ++total_;
  }
  void Put(const char* text, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
      Put(text[i]);
    }
  }
  void PutText(const char* text) {
    for (; *text != '\0'; ++text) {
      Put(*text);
    }
  }
  void Flush();
  // Bytes put so far, handed on or not.
  std::size_t Total() const { return total_; }

 private:
  const Console& console_;
  char buffer_[256];
  std::size_t used_ = 0;
  std::size_t total_ = 0;
};

}  // namespace joywire
