// Keys from a POSIX terminal: raw mode without echo, arrow and page keys from their escape
// sequences. The terminal is kept in raw mode only while the sender runs in its foreground.
#include "platform/key_input.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>

#include "platform/posix/escape_sequence.h"
#include "platform/posix/terminal_keeper.h"

namespace joywire {

namespace {

constexpr int kEscape = 0x1B;
constexpr int kControlZ = 0x1A;
constexpr int kNoByte = -1;
constexpr int kInputEnded = -2;

void KeyAtATime(termios& settings) {
  // ISIG off: Ctrl-C arrives as a key, and Ctrl-Z is handled below as a stop.
  settings.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO | ISIG | IEXTEN));
  settings.c_iflag &= static_cast<tcflag_t>(~(IXON | ICRNL));
  settings.c_cc[VMIN] = 1;
  settings.c_cc[VTIME] = 0;
}

// The next byte within the wait, kNoByte when none came, kInputEnded when the terminal is gone
// (end of input, hang-up or a read error): nothing more will ever come.
int NextByte(int milliseconds) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd ready{STDIN_FILENO, POLLIN, 0};
    const int polled = poll(&ready, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
    if (polled < 0) {
      if (errno == EINTR) {
        continue;  // a stop and continue, a resize: keep waiting
      }
      return kInputEnded;
    }
    if (polled == 0) {
      return kNoByte;
    }
    if ((ready.revents & POLLIN) == 0) {
      return kInputEnded;  // POLLHUP, POLLERR or POLLNVAL with nothing left to read
    }
    unsigned char byte = 0;
    const ssize_t got = read(STDIN_FILENO, &byte, 1);
    if (got == 1) {
      return byte;
    }
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) {
      continue;
    }
    return kInputEnded;  // 0 is the end of input; EIO a terminal that hung up
  }
}

}  // namespace

bool OpenKeyInput() {
  return KeepTerminal(STDIN_FILENO, KeyAtATime);
}

TerminalKey ReadKey(int milliseconds) {
  const int byte = NextByte(milliseconds);
  if (byte == kNoByte) {
    return TerminalKey{TerminalKeyKind::kNone, 0};
  }
  if (byte == kInputEnded) {
    return TerminalKey{TerminalKeyKind::kEnded, 0};
  }
  if (byte == kControlZ) {
    std::raise(SIGTSTP);  // a stop as the terminal would make it; the terminal is put back
    return TerminalKey{TerminalKeyKind::kOther, 0};
  }
  if (byte != kEscape) {
    return TerminalKey{TerminalKeyKind::kCharacter, byte};
  }
  EscapeSequence sequence;
  for (;;) {
    const int next = NextByte(kEscapeSequenceWaitMilliseconds);
    if (next == kInputEnded) {
      return TerminalKey{TerminalKeyKind::kEnded, 0};
    }
    if (next == kNoByte || sequence.Feed(static_cast<unsigned char>(next))) {
      return sequence.Key();
    }
  }
}

void CloseKeyInput() {
  ReleaseTerminal();
}

}  // namespace joywire
