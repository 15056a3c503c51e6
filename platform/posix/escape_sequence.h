#pragma once

#include "platform/key_input.h"

namespace joywire {

// How long the rest of a key's escape sequence may take to arrive after the ESC (and between
// its bytes). Over ssh it can come 50 ms or more later, so a lone Esc is only known as one
// after this wait.
inline constexpr int kEscapeSequenceWaitMilliseconds = 250;

// Reads a terminal's key sequences after an ESC byte, by the terminal grammar: "ESC [",
// parameter bytes (0x30-0x3F), intermediate bytes (0x20-0x2F), one final byte (0x40-0x7E);
// "ESC O" and a final byte; the Linux console's "ESC [ [" and one letter (F1-F5); "ESC" and a
// character (Alt+key). Known keys are the arrows (with or without modifiers) and Page Up/Down;
// every other sequence is read to its end and reported as kOther.
class EscapeSequence {
 public:
  // Takes the next byte after what it has seen; true when the key is complete.
  bool Feed(unsigned char byte);
  // The key once complete, or, when no further byte came in time, what was seen so far means.
  TerminalKey Key() const;

 private:
  enum class State { kAfterEscape, kControl, kLinuxFunction, kSingleShift, kDone };
  static constexpr int kParameterCap = 9999;

  State state_ = State::kAfterEscape;
  TerminalKeyKind kind_ = TerminalKeyKind::kEscape;
  int firstParameter_ = 0;
  bool pastFirstParameter_ = false;
  bool controlStarted_ = false;  // a byte came after "ESC ["
};

}  // namespace joywire
