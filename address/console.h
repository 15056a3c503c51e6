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

// One argument of a console message: an int for %d, a string for %s.
struct PrintArgument {
  PrintArgument(int number) : number(number) {}    // NOLINT: converts on purpose
  PrintArgument(const char* text) : text(text) {}  // NOLINT
  union {
    int number;
    const char* text;
  };
};

template <typename Argument>
constexpr char kConversionFor = std::is_same_v<std::decay_t<Argument>, int>           ? 'd'
                                : std::is_same_v<std::decay_t<Argument>, const char*> ? 's'
                                : std::is_same_v<std::decay_t<Argument>, char*>       ? 's'
                                                                                      : '?';

// Whether a message's format takes exactly these arguments: %d for an int, %s for a string,
// %% for a percent sign, and no other conversion.
constexpr bool FormatFits(const char* format, const char* conversions, std::size_t count) {
  std::size_t used = 0;
  for (const char* at = format; *at != '\0'; ++at) {
    if (*at != '%') {
      continue;
    }
    ++at;
    if (*at == '%') {
      continue;
    }
    if ((*at != 'd' && *at != 's') || used == count || conversions[used] != *at) {
      return false;
    }
    ++used;
  }
  return used == count;
}

// Named so that the compiler's message says what is wrong: a format the check refused.
void ThisFormatDoesNotFitItsArgumentsOrUsesAConversionBesidesPercentDAndPercentS();

// A console message's format, checked against its arguments when the program is compiled.
template <typename... Arguments>
struct ConsoleFormat {
  template <std::size_t Size>
  consteval ConsoleFormat(const char (&format)[Size]) : text(format) {  // NOLINT
    constexpr char conversions[] = {kConversionFor<Arguments>..., '\0'};
    if (!FormatFits(format, conversions, sizeof...(Arguments))) {
      ThisFormatDoesNotFitItsArgumentsOrUsesAConversionBesidesPercentDAndPercentS();
    }
  }
  const char* text;
};

void PrintArguments(const Console& console, const char* format, const PrintArgument* arguments);

// printf-style output through the console, for the feeder's messages: %d, %s and %%. A line of
// any length comes out whole: it goes through a small fixed buffer that is handed on whenever it
// fills, so nothing is allocated and nothing is cut.
template <typename... Arguments>
void Print(const Console& console, ConsoleFormat<std::type_identity_t<Arguments>...> format,
           Arguments... arguments) {
  const PrintArgument list[] = {PrintArgument(arguments)..., PrintArgument(0)};
  PrintArguments(console, format.text, list);
}

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

 private:
  const Console& console_;
  char buffer_[256];
  std::size_t used_ = 0;
};

}  // namespace joywire
