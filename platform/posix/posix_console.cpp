// Console, final wait and clock on a POSIX system.
#include <cerrno>
#include <cstdio>
#include <ctime>

#include "platform/posix/posix_host.h"
#include "platform/stdio/stdio_console.h"

namespace joywire {

namespace {

// There is no "pause" command here: wait for one line (or the end of input) instead.
void WaitForEnter() {
  constexpr char kPrompt[] = "Press Enter to continue . . . ";
  StdoutWrite(kPrompt, sizeof kPrompt - 1);
  for (int c = std::getchar(); c != EOF && c != '\n'; c = std::getchar()) {
  }
}

void PosixSleep(std::uint32_t milliseconds) {
  timespec wait{static_cast<time_t>(milliseconds / 1000),
                static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
  }
}

}  // namespace

void InstallPosixConsole(Platform& platform) {
  platform.console = Console{StdinReadChar, StdoutWrite, WaitForEnter};
  platform.Sleep = PosixSleep;
}

void HostArguments(int&, const char* const*&) {
  // POSIX hands the arguments over as the bytes that were typed.
}

void InstallHostServices(Platform& platform) {
  InstallPosixSockets(platform);
  InstallPosixConsole(platform);
}

}  // namespace joywire
