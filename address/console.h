#pragma once

#include <cstddef>

namespace joywire {

inline constexpr int kEndOfInput = -1;

// The console as the run sees it: standard input a byte at a time, standard output, and the
// final wait for the operator. Each platform fills these in; tests script them.
struct Console {
  int (*ReadChar)();                                    // next input byte (0..255) or kEndOfInput
  void (*Write)(const char* text, std::size_t length);  // written and flushed at once
  void (*Pause)();                                      // waits for the operator's key
};

// printf-style output through the console, for the conversions the messages use: %s, %d, %u
// and %%. Any other conversion is written as it stands. A line of any length comes out whole:
// it is formatted through a small fixed buffer that is handed on whenever it fills, so nothing
// is allocated and nothing is cut.
void Print(const Console& console, const char* format, ...);

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
