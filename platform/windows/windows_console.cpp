// Console, command line, final wait and clock on Windows. The console is left as it was found:
// its code page and modes are put back on every way out (a normal end, an early end through
// exit, or Ctrl+C and closing the window).
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <io.h>

#include <cstdio>
#include <cstdlib>

#include "feeder/wide_text.h"
#include "platform/stdio/stdio_console.h"
#include "platform/terminal.h"
#include "platform/windows/windows_host.h"

namespace joywire {

namespace {

struct SavedConsole {
  UINT outputCodePage;  // 0 when there is no console
  bool errorModeSaved;
  DWORD errorMode;
  bool outputModeSaved;
  DWORD outputMode;
  bool restoreRegistered;
};

SavedConsole g_saved{};

void RestoreConsole() {
  if (g_saved.outputCodePage != 0) {
    ::SetConsoleOutputCP(g_saved.outputCodePage);
  }
  if (g_saved.errorModeSaved) {
    ::SetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), g_saved.errorMode);
  }
  if (g_saved.outputModeSaved) {
    ::SetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), g_saved.outputMode);
  }
}

// Runs on the system's own thread for Ctrl+C, Ctrl+Break and closing the window; the default
// handler then ends the process as usual.
BOOL WINAPI RestoreOnControlEvent(DWORD) {
  RestoreConsole();
  return FALSE;
}

void RestoreAtExit() {
  if (!g_saved.restoreRegistered) {
    g_saved.restoreRegistered = true;
    std::atexit(RestoreConsole);
    ::SetConsoleCtrlHandler(RestoreOnControlEvent, TRUE);
  }
}

void CommandInterpreterPause() {
  std::fflush(stdout);
  std::system("pause");
}

void WindowsSleep(std::uint32_t milliseconds) {
  ::Sleep(milliseconds);
}

// The command line as typed, converted once: the longest one Windows allows is 32767 UTF-16
// units, at most three UTF-8 bytes each, plus a terminator for each argument.
constexpr std::size_t kCommandLineUnits = 32768;
char g_argumentText[3 * kCommandLineUnits + kCommandLineUnits / 2];
const char* g_arguments[kCommandLineUnits / 2 + 1];

}  // namespace

void InstallWindowsConsole(Platform& platform) {
  // Every line, the driver's identification included, is written as UTF-8.
  g_saved.outputCodePage = ::GetConsoleOutputCP();
  if (g_saved.outputCodePage != 0 && g_saved.outputCodePage != CP_UTF8) {
    RestoreAtExit();
    ::SetConsoleOutputCP(CP_UTF8);
  }
  platform.console = Console{StdinReadChar, StdoutWrite, CommandInterpreterPause};
  platform.Sleep = WindowsSleep;
}

bool StandardOutputIsTerminal() {
  return _isatty(_fileno(stdout)) != 0;
}

bool StandardErrorIsTerminal() {
  return _isatty(_fileno(stderr)) != 0;
}

bool EnableTerminalEscapes() {
  const HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  if (!::GetConsoleMode(error, &mode)) {
    return false;
  }
  if (!g_saved.errorModeSaved) {
    g_saved.errorMode = mode;
    g_saved.errorModeSaved = true;
    RestoreAtExit();
  }
  return ::SetConsoleMode(error,
                          mode | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

void EnableTerminalOutput() {
  const UINT page = ::GetConsoleOutputCP();
  if (page != 0 && page != CP_UTF8) {
    if (g_saved.outputCodePage == 0) {
      g_saved.outputCodePage = page;
    }
    RestoreAtExit();
    ::SetConsoleOutputCP(CP_UTF8);
  }
  const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (::GetConsoleMode(output, &mode)) {
    if (!g_saved.outputModeSaved) {
      g_saved.outputMode = mode;
      g_saved.outputModeSaved = true;
      RestoreAtExit();
    }
    ::SetConsoleMode(output, mode | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
  }
}

int TerminalColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!::GetConsoleScreenBufferInfo(::GetStdHandle(STD_ERROR_HANDLE), &info)) {
    return 80;
  }
  return info.srWindow.Right - info.srWindow.Left + 1;
}

int TerminalRows() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!::GetConsoleScreenBufferInfo(::GetStdHandle(STD_ERROR_HANDLE), &info)) {
    return 24;
  }
  return info.srWindow.Bottom - info.srWindow.Top + 1;
}

bool StandardInputEchoes() {
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(STD_INPUT_HANDLE), &mode) &&
         (mode & ENABLE_ECHO_INPUT) != 0;
}

void SuppressTerminalEcho(bool) {
  // The console echoes keys only while a read is waiting for them.
}

bool TerminalWasResumed() {
  return false;  // no stopping and continuing here
}

bool WriteToStandardOutput(const char* bytes, std::size_t length) {
  const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
  // Line ends as the C runtime's text mode writes them, for files and pipes alike; each write
  // ends between two characters, which a console wants.
  char chunk[4096];
  std::size_t used = 0;
  for (std::size_t i = 0; i <= length; ++i) {
    const bool between = i == length || (static_cast<unsigned char>(bytes[i]) & 0xC0) != 0x80;
    if (i == length || (used + 8 > sizeof chunk && between)) {
      DWORD written = 0;
      for (std::size_t done = 0; done < used; done += written) {
        if (!::WriteFile(output, chunk + done, static_cast<DWORD>(used - done), &written,
                         nullptr) ||
            written == 0) {
          return false;
        }
      }
      used = 0;
    }
    if (i < length) {
      if (bytes[i] == '\n') {
        chunk[used++] = '\r';
      }
      chunk[used++] = bytes[i];
    }
  }
  return true;
}

void IgnoreClosedOutput() {
  // A write to a closed pipe fails here; it never ends the process.
}

void KeepOutputFromStoppingUs() {
  // No job control stops a console program.
}

const int kJobStopSignals[] = {0};
const int kJobStopSignalCount = 0;

void StopUntilContinued() {}

void TakeNoSignalsOnThisThread() {
  // Console events come on threads of the system's own.
}

namespace {

void (*g_consoleEnd)() = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_CLOSE_EVENT && event != CTRL_LOGOFF_EVENT && event != CTRL_SHUTDOWN_EVENT) {
    return FALSE;  // Ctrl-C and Ctrl-Break: the C runtime's signals
  }
  if (g_consoleEnd != nullptr) {
    g_consoleEnd();
  }
  return TRUE;
}

}  // namespace

void OnConsoleEnd(void (*stop)()) {
  g_consoleEnd = stop;
  ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

void HostArguments(int& argc, const char* const*& argv) {
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr) {
    return;  // keep the runtime's own conversion
  }
  std::size_t used = 0;
  int kept = 0;
  for (; kept < count && kept < static_cast<int>(kCommandLineUnits / 2); ++kept) {
    g_arguments[kept] = g_argumentText + used;
    WideToUtf8(wide[kept], g_argumentText + used, sizeof g_argumentText - used);
    while (g_argumentText[used] != '\0') {
      ++used;
    }
    ++used;
  }
  g_arguments[kept] = nullptr;
  ::LocalFree(wide);
  argc = kept;
  argv = g_arguments;
}

void InstallHostServices(Platform& platform) {
  InstallWinsock(platform);
  InstallWindowsConsole(platform);
}

}  // namespace joywire
