// The terminal as a live display sees it, on a POSIX system.
#include <poll.h>
#include <unistd.h>

#include "platform/terminal.h"

namespace joywire {

bool StandardOutputIsTerminal() {
  return isatty(STDOUT_FILENO) == 1;
}

bool StandardErrorIsTerminal() {
  return isatty(STDERR_FILENO) == 1;
}

bool EnableTerminalEscapes() {
  return true;  // terminals here take them as they are
}

bool WaitForDatagram(SocketHandle socket, int milliseconds) {
  pollfd ready{static_cast<int>(socket), POLLIN, 0};
  return poll(&ready, 1, milliseconds) != 0;
}

}  // namespace joywire
