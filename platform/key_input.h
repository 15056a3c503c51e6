#pragma once

namespace joywire {

// Keys from the terminal on standard input, one at a time; each platform folder implements it.

enum class TerminalKeyKind {
  kNone,       // nothing pressed before the wait ran out
  kCharacter,  // a plain character, in `character`
  kUp,
  kDown,
  kLeft,
  kRight,
  kPageUp,
  kPageDown,
  kEscape,  // the Esc key on its own
  kOther,   // a key of no use here (function keys, Alt+key...)
  kEnded,   // the terminal is gone: end of input, hang-up or a read error
};

struct TerminalKey {
  TerminalKeyKind kind;
  int character;
};

// Puts the terminal into key-at-a-time mode without echo. False when standard input is no
// terminal. The terminal is put back by CloseKeyInput, and on every other way out: exit, a
// fatal signal, and a stop (it is made key-at-a-time again when the program continues).
bool OpenKeyInput();
// Waits up to `milliseconds` for a key.
TerminalKey ReadKey(int milliseconds);
void CloseKeyInput();

}  // namespace joywire
