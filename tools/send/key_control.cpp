#include "tools/send/key_control.h"

#include <cstdio>

namespace joywire {

namespace {

constexpr int kTenthsLimit = 10;
constexpr int kEscape = 0x1B;
constexpr int kControlC = 0x03;

void Move(int& tenths, int step) {
  tenths += step;
  tenths = tenths < -kTenthsLimit ? -kTenthsLimit : (tenths > kTenthsLimit ? kTenthsLimit : tenths);
}

}  // namespace

Key KeyFromCharacter(int character) {
  switch (character) {
    case 'w':
    case 'W':
      return Key::kUp;
    case 's':
    case 'S':
      return Key::kDown;
    case 'a':
    case 'A':
      return Key::kLeft;
    case 'd':
    case 'D':
      return Key::kRight;
    case 'r':
    case 'R':
      return Key::kPageUp;
    case 'f':
    case 'F':
      return Key::kPageDown;
    case '1':
      return Key::kButton1;
    case '2':
      return Key::kButton2;
    case ' ':
      return Key::kCentre;
    case 'q':
    case 'Q':
    case kEscape:
    case kControlC:
      return Key::kQuit;
    default:
      return Key::kOther;
  }
}

Key KeyFromTerminal(const TerminalKey& key) {
  switch (key.kind) {
    case TerminalKeyKind::kNone:
      return Key::kNone;
    case TerminalKeyKind::kCharacter:
      return KeyFromCharacter(key.character);
    case TerminalKeyKind::kUp:
      return Key::kUp;
    case TerminalKeyKind::kDown:
      return Key::kDown;
    case TerminalKeyKind::kLeft:
      return Key::kLeft;
    case TerminalKeyKind::kRight:
      return Key::kRight;
    case TerminalKeyKind::kPageUp:
      return Key::kPageUp;
    case TerminalKeyKind::kPageDown:
      return Key::kPageDown;
    case TerminalKeyKind::kEscape:
      return Key::kQuit;
    case TerminalKeyKind::kEnded:
      return Key::kInputEnded;
    case TerminalKeyKind::kOther:
      break;
  }
  return Key::kOther;
}

std::chrono::steady_clock::time_point NextSendTime(std::chrono::steady_clock::time_point due,
                                                   std::chrono::steady_clock::duration period,
                                                   std::chrono::steady_clock::time_point now) {
  const auto next = due + period;
  return next < now ? now : next;
}

bool ApplyKey(KeyboardStick& stick, Key key) {
  switch (key) {
    case Key::kUp:
      Move(stick.yTenths, -1);
      break;
    case Key::kDown:
      Move(stick.yTenths, 1);
      break;
    case Key::kLeft:
      Move(stick.xTenths, -1);
      break;
    case Key::kRight:
      Move(stick.xTenths, 1);
      break;
    case Key::kPageUp:
      Move(stick.zTenths, 1);
      break;
    case Key::kPageDown:
      Move(stick.zTenths, -1);
      break;
    case Key::kButton1:
      stick.button1 = !stick.button1;
      break;
    case Key::kButton2:
      stick.button2 = !stick.button2;
      break;
    case Key::kCentre:
      stick = KeyboardStick{};
      break;
    case Key::kQuit:
    case Key::kInputEnded:
      return false;
    case Key::kNone:
    case Key::kOther:
      break;
  }
  return true;
}

void StickValues(const KeyboardStick& stick, float values[5]) {
  values[0] = static_cast<float>(stick.xTenths) / 10.0f;
  values[1] = static_cast<float>(stick.yTenths) / 10.0f;
  values[2] = static_cast<float>(stick.zTenths) / 10.0f;
  values[3] = stick.button1 ? 1.0f : 0.0f;
  values[4] = stick.button2 ? 1.0f : 0.0f;
}

std::size_t FormatStick(const KeyboardStick& stick, char* out, std::size_t capacity) {
  float values[5];
  StickValues(stick, values);
  const int length = std::snprintf(
      out, capacity, "X %+4.1f  Y %+4.1f  Z %+4.1f  button 1 %-3s  button 2 %-3s",
      static_cast<double>(values[0]), static_cast<double>(values[1]),
      static_cast<double>(values[2]), stick.button1 ? "on" : "off", stick.button2 ? "on" : "off");
  return length < 0 ? 0 : static_cast<std::size_t>(length);
}

}  // namespace joywire
