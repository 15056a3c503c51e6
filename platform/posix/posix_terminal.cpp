// The terminal as a live display sees it, on a POSIX system.
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/terminal_keeper.h"
#include "platform/terminal.h"

namespace joywire {

namespace {

constexpr int kDefaultColumns = 80;
constexpr int kDefaultRows = 24;

enum class EchoKeeping { kNotTried, kKept, kImpossible };
EchoKeeping g_echo = EchoKeeping::kNotTried;

void WithoutEcho(termios& settings) {
  settings.c_lflag &= static_cast<tcflag_t>(~ECHO);
}

}  // namespace

bool StandardOutputIsTerminal() {
  return isatty(STDOUT_FILENO) == 1;
}

bool StandardErrorIsTerminal() {
  return isatty(STDERR_FILENO) == 1;
}

bool EnableTerminalEscapes() {
  return true;  // terminals here take them as they are
}

void EnableTerminalOutput() {
  // Terminals here take UTF-8 and escape sequences as they come.
}

int TerminalColumns() {
  winsize size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) {
    return kDefaultColumns;
  }
  return size.ws_col;
}

int TerminalRows() {
  winsize size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_row == 0) {
    return kDefaultRows;
  }
  return size.ws_row;
}

bool StandardInputEchoes() {
  termios settings{};
  return isatty(STDIN_FILENO) == 1 && tcgetattr(STDIN_FILENO, &settings) == 0 &&
         (settings.c_lflag & ECHO) != 0;
}

void SuppressTerminalEcho(bool suppress) {
  if (g_echo == EchoKeeping::kKept) {
    UseOwnTerminalSettings(suppress);
  } else if (g_echo == EchoKeeping::kNotTried && suppress) {
    g_echo =
        KeepTerminal(STDERR_FILENO, WithoutEcho) ? EchoKeeping::kKept : EchoKeeping::kImpossible;
  }
}

bool WriteToStandardOutput(const char* bytes, std::size_t length) {
  while (length > 0) {
    const ssize_t written = write(STDOUT_FILENO, bytes, length);
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      return false;
    }
    bytes += written;
    length -= static_cast<std::size_t>(written);
  }
  return true;
}

void IgnoreClosedOutput() {
  signal(SIGPIPE, SIG_IGN);
}

void KeepOutputFromStoppingUs() {
  signal(SIGTTOU, SIG_IGN);
}

const int kJobStopSignals[] = {SIGTSTP, SIGTTIN};
const int kJobStopSignalCount = 2;

void StopUntilContinued() {
  kill(getpid(), SIGSTOP);
}

void TakeNoSignalsOnThisThread() {
  sigset_t all;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, nullptr);
}

void OnConsoleEnd(void (*)()) {
  // A closed terminal is SIGHUP here.
}

bool WaitForDatagram(SocketHandle socket, int milliseconds) {
  pollfd ready{static_cast<int>(socket), POLLIN, 0};
  return poll(&ready, 1, milliseconds) != 0;
}

}  // namespace joywire
