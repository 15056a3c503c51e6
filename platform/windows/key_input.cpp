// Keys from the Windows console: its key events, read one at a time without line input or
// echo (so Ctrl+C arrives as a key). The console's input mode is put back on close.
#include "platform/key_input.h"

#include <windows.h>

namespace joywire {

namespace {

HANDLE g_input = INVALID_HANDLE_VALUE;
DWORD g_savedMode = 0;
bool g_opened = false;

TerminalKey FromVirtualKey(WORD key, wchar_t character) {
  switch (key) {
    case VK_UP:
      return TerminalKey{TerminalKeyKind::kUp, 0};
    case VK_DOWN:
      return TerminalKey{TerminalKeyKind::kDown, 0};
    case VK_LEFT:
      return TerminalKey{TerminalKeyKind::kLeft, 0};
    case VK_RIGHT:
      return TerminalKey{TerminalKeyKind::kRight, 0};
    case VK_PRIOR:
      return TerminalKey{TerminalKeyKind::kPageUp, 0};
    case VK_NEXT:
      return TerminalKey{TerminalKeyKind::kPageDown, 0};
    case VK_ESCAPE:
      return TerminalKey{TerminalKeyKind::kEscape, 0};
    default:
      return character == 0 ? TerminalKey{TerminalKeyKind::kOther, 0}
                            : TerminalKey{TerminalKeyKind::kCharacter, static_cast<int>(character)};
  }
}

// Ctrl+Break and closing the window still end the process: put the console back first.
BOOL WINAPI RestoreOnControlEvent(DWORD) {
  if (g_opened) {
    ::SetConsoleMode(g_input, g_savedMode);
  }
  return FALSE;
}

}  // namespace

bool OpenKeyInput() {
  g_input = ::GetStdHandle(STD_INPUT_HANDLE);
  if (g_input == INVALID_HANDLE_VALUE || !::GetConsoleMode(g_input, &g_savedMode)) {
    return false;
  }
  const DWORD keys = g_savedMode & ~static_cast<DWORD>(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT |
                                                       ENABLE_PROCESSED_INPUT);
  if (!::SetConsoleMode(g_input, keys)) {
    return false;
  }
  g_opened = true;
  ::SetConsoleCtrlHandler(RestoreOnControlEvent, TRUE);
  return true;
}

TerminalKey ReadKey(int milliseconds) {
  const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(milliseconds);
  for (;;) {
    const ULONGLONG now = ::GetTickCount64();
    const DWORD wait = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
    const DWORD waited = ::WaitForSingleObject(g_input, wait);
    if (waited == WAIT_TIMEOUT) {
      return TerminalKey{TerminalKeyKind::kNone, 0};
    }
    INPUT_RECORD record;
    DWORD read = 0;
    if (waited != WAIT_OBJECT_0 || !::ReadConsoleInputW(g_input, &record, 1, &read) || read != 1) {
      return TerminalKey{TerminalKeyKind::kEnded, 0};  // the console is gone
    }
    if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown) {
      return FromVirtualKey(record.Event.KeyEvent.wVirtualKeyCode,
                            record.Event.KeyEvent.uChar.UnicodeChar);
    }
    // Key releases, mouse and focus events: keep waiting for a key.
  }
}

void CloseKeyInput() {
  if (g_opened) {
    ::SetConsoleMode(g_input, g_savedMode);
    g_opened = false;
  }
}

}  // namespace joywire
