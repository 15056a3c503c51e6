// Keys from a POSIX terminal: raw mode without echo, arrow and page keys from their escape
// sequences. The terminal's settings are put back on close and on the usual ending signals.
#include "tools/send/key_input.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <initializer_list>

namespace joywire {

namespace {

constexpr int kEscape = 0x1B;
constexpr int kSequenceWaitMilliseconds = 30;  // how long an escape sequence may take to arrive

termios g_saved;
bool g_opened = false;

void RestoreTerminal() {
  if (g_opened) {
    tcsetattr(STDIN_FILENO, TCSANOW, &g_saved);
  }
}

void RestoreAndEnd(int signal) {
  RestoreTerminal();
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

// The next byte, or -1 when none comes within the wait.
int NextByte(int milliseconds) {
  pollfd ready{STDIN_FILENO, POLLIN, 0};
  if (poll(&ready, 1, milliseconds) <= 0) {
    return -1;
  }
  unsigned char byte = 0;
  return read(STDIN_FILENO, &byte, 1) == 1 ? byte : -1;
}

// After ESC: "[A".."[D" or "OA".."OD" (arrows), "[5~" and "[6~" (page keys); anything else is
// read to its final byte and ignored. A lone ESC is the Esc key.
Key EscapeSequence() {
  const int introducer = NextByte(kSequenceWaitMilliseconds);
  if (introducer == -1) {
    return Key::kQuit;
  }
  if (introducer != '[' && introducer != 'O') {
    return Key::kOther;
  }
  int parameter = 0;
  for (int byte = NextByte(kSequenceWaitMilliseconds); byte != -1;
       byte = NextByte(kSequenceWaitMilliseconds)) {
    switch (byte) {
      case 'A':
        return Key::kUp;
      case 'B':
        return Key::kDown;
      case 'C':
        return Key::kRight;
      case 'D':
        return Key::kLeft;
      case '~':
        return parameter == 5 ? Key::kPageUp : (parameter == 6 ? Key::kPageDown : Key::kOther);
      default:
        if (byte >= '0' && byte <= '9') {
          parameter = parameter * 10 + (byte - '0');
        } else if (byte >= 0x40 && byte <= 0x7E) {
          return Key::kOther;
        }
    }
  }
  return Key::kOther;
}

}  // namespace

bool OpenKeyInput() {
  if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &g_saved) != 0) {
    return false;
  }
  termios raw = g_saved;
  raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO | ISIG | IEXTEN));
  raw.c_iflag &= static_cast<tcflag_t>(~(IXON | ICRNL));
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) {
    return false;
  }
  g_opened = true;
  for (const int signal : {SIGTERM, SIGHUP, SIGQUIT}) {
    std::signal(signal, RestoreAndEnd);
  }
  return true;
}

Key ReadKey(int milliseconds) {
  const int byte = NextByte(milliseconds);
  if (byte == -1) {
    return Key::kNone;
  }
  return byte == kEscape ? EscapeSequence() : KeyFromCharacter(byte);
}

void CloseKeyInput() {
  RestoreTerminal();
  g_opened = false;
}

}  // namespace joywire
