#pragma once

#include "feeder/platform.h"

namespace joywire {

// What a live display on a terminal needs from the host. Each host folder implements these.

// Whether standard output or standard error is a terminal a person is looking at.
bool StandardOutputIsTerminal();
bool StandardErrorIsTerminal();

// Lets escape sequences written to standard error move the cursor and clear lines; the
// terminal is put back as it was when the process ends. False where that cannot be done.
bool EnableTerminalEscapes();

// Waits up to `milliseconds` for a datagram to be ready on `socket`. False when the time ran
// out; true when one is ready, or when the wait itself failed (the receive will tell).
bool WaitForDatagram(SocketHandle socket, int milliseconds);

}  // namespace joywire
