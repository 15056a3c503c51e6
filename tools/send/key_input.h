#pragma once

#include "tools/send/key_control.h"

namespace joywire {

// Keys from the terminal on standard input, one at a time; each platform folder implements it.

// Puts the terminal into key-at-a-time mode without echo. False when standard input is no
// terminal. The terminal is put back by CloseKeyInput, and when the process is ended.
bool OpenKeyInput();
// Waits up to `milliseconds` for a key; Key::kNone when none came.
Key ReadKey(int milliseconds);
void CloseKeyInput();

}  // namespace joywire
