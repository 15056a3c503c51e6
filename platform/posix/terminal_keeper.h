#pragma once

#include <termios.h>

namespace joywire {

// Holds one terminal in settings of the program's own and puts the settings it found back on
// every way out: a return from main or exit, a fatal signal, and a stop (Ctrl-Z, SIGTSTP,
// SIGTTIN, SIGTTOU). When the program continues in the foreground its settings are applied
// again. Settings are only ever changed while the process is in the terminal's foreground, so a
// program started in the background is never stopped for touching the terminal.

// Saves the terminal on `fd`, then applies `adjust` of it. False when `fd` is no terminal.
bool KeepTerminal(int fd, void (*adjust)(termios& settings));
// Switches between the program's settings (true) and the ones found (false).
void UseOwnTerminalSettings(bool own);
// Puts the settings found back for good.
void ReleaseTerminal();

}  // namespace joywire
