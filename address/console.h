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

// printf-style output through the console, formatted on the stack (lines are short; anything
// past 511 bytes is cut).
void Print(const Console& console, const char* format, ...);

}  // namespace joywire
