#pragma once

#include <cstddef>

#include "feeder/platform.h"

namespace joywire {

// What a live display on a terminal needs from the host. Each host folder implements these.

// Whether standard output or standard error is a terminal a person is looking at.
bool StandardOutputIsTerminal();
bool StandardErrorIsTerminal();

// Lets escape sequences written to standard error move the cursor and clear lines; the
// terminal is put back as it was when the process ends. False where that cannot be done.
bool EnableTerminalEscapes();

// Lets standard output take UTF-8 text and escape sequences where the console needs telling
// (Windows); what was changed is put back however the process ends.
void EnableTerminalOutput();

// Columns and rows of the terminal on standard error; 80 and 24 when it cannot tell.
int TerminalColumns();
int TerminalRows();

// Whether a line typed on standard input is echoed by the terminal (so the cursor moves).
bool StandardInputEchoes();

// Keeps keys typed on the terminal of standard error from echoing while a live display is
// drawn below the text (true), or lets them echo again (false). The terminal is put back
// however the process ends. A no-op where a terminal echoes only while it is read.
void SuppressTerminalEcho(bool suppress);

// True once after the process was stopped and continued: the shell has written since.
bool TerminalWasResumed();

// Writes to standard output, however long that waits; false once it cannot be written (a
// closed pipe). Line ends come out as the C runtime writes them (CR LF on Windows).
bool WriteToStandardOutput(const char* bytes, std::size_t length);

// Output that nobody reads any more (a closed pipe) fails the write instead of ending the
// process (SIGPIPE).
void IgnoreClosedOutput();

// Output from a background job (a terminal with `stty tostop`) is written rather than stopping
// the process with a button held (SIGTTOU). Nothing to do on Windows.
void KeepOutputFromStoppingUs();

// The signals of job control that stop a process (Ctrl-Z's SIGTSTP, SIGTTIN), for a caller
// that must do something first; none on Windows.
extern const int kJobStopSignals[];
extern const int kJobStopSignalCount;
// Stops this process as those signals would, until it is continued (`fg`, SIGCONT).
void StopUntilContinued();

// The calling thread takes no signals: they all go to the thread that waits for them.
void TakeNoSignalsOnThisThread();

// Windows: calls `stop` on a thread of its own when the console window is closed, the user logs
// off or the machine shuts down; the process ends once it returns. Elsewhere those come as
// signals (SIGHUP), and this does nothing.
void OnConsoleEnd(void (*stop)());

// Waits up to `milliseconds` for a datagram to be ready on `socket`. False when the time ran
// out; true when one is ready, or when the wait itself failed (the receive will tell).
bool WaitForDatagram(SocketHandle socket, int milliseconds);

}  // namespace joywire
