// Console, final wait and clock on Windows.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "platform/stdio/stdio_console.h"
#include "platform/windows/windows_host.h"

namespace joywire {

namespace {

void CommandInterpreterPause() {
  std::fflush(stdout);
  std::system("pause");
}

void WindowsSleep(std::uint32_t milliseconds) {
  ::Sleep(milliseconds);
}

}  // namespace

void InstallWindowsConsole(Platform& platform) {
  // Every line, the driver's identification included, is written as UTF-8.
  ::SetConsoleOutputCP(CP_UTF8);
  platform.console = Console{StdinReadChar, StdoutWrite, CommandInterpreterPause};
  platform.Sleep = WindowsSleep;
}

void InstallHostServices(Platform& platform) {
  InstallWinsock(platform);
  InstallWindowsConsole(platform);
}

}  // namespace joywire
