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

StickAction ActionOfCharacter(int character) {
  switch (character) {
    case 'w':
    case 'W':
      return StickAction::kForward;
    case 's':
    case 'S':
      return StickAction::kBack;
    case 'a':
    case 'A':
      return StickAction::kLeft;
    case 'd':
    case 'D':
      return StickAction::kRight;
    case 'r':
    case 'R':
      return StickAction::kThrottleUp;
    case 'f':
    case 'F':
      return StickAction::kThrottleDown;
    case '1':
      return StickAction::kButton1;
    case '2':
      return StickAction::kButton2;
    case ' ':
      return StickAction::kCentre;
    case 'q':
    case 'Q':
    case kEscape:
    case kControlC:
      return StickAction::kQuit;
    default:
      return StickAction::kIgnored;
  }
}

StickAction ActionOfKey(const TerminalKey& key) {
  switch (key.kind) {
    case TerminalKeyKind::kNone:
      return StickAction::kNone;
    case TerminalKeyKind::kCharacter:
      return ActionOfCharacter(key.character);
    case TerminalKeyKind::kUp:
      return StickAction::kForward;
    case TerminalKeyKind::kDown:
      return StickAction::kBack;
    case TerminalKeyKind::kLeft:
      return StickAction::kLeft;
    case TerminalKeyKind::kRight:
      return StickAction::kRight;
    case TerminalKeyKind::kPageUp:
      return StickAction::kThrottleUp;
    case TerminalKeyKind::kPageDown:
      return StickAction::kThrottleDown;
    case TerminalKeyKind::kEscape:
      return StickAction::kQuit;
    case TerminalKeyKind::kEnded:
      return StickAction::kInputEnded;
    case TerminalKeyKind::kOther:
      break;
  }
  return StickAction::kIgnored;
}

std::chrono::steady_clock::time_point NextSendTime(std::chrono::steady_clock::time_point due,
                                                   std::chrono::steady_clock::duration period,
                                                   std::chrono::steady_clock::time_point now) {
  const auto next = due + period;
  return next < now ? now : next;
}

bool ApplyAction(KeyboardStick& stick, StickAction action) {
  switch (action) {
    case StickAction::kForward:
      Move(stick.yTenths, -1);
      break;
    case StickAction::kBack:
      Move(stick.yTenths, 1);
      break;
    case StickAction::kLeft:
      Move(stick.xTenths, -1);
      break;
    case StickAction::kRight:
      Move(stick.xTenths, 1);
      break;
    case StickAction::kThrottleUp:
      Move(stick.zTenths, 1);
      break;
    case StickAction::kThrottleDown:
      Move(stick.zTenths, -1);
      break;
    case StickAction::kButton1:
      stick.button1 = !stick.button1;
      break;
    case StickAction::kButton2:
      stick.button2 = !stick.button2;
      break;
    case StickAction::kCentre:
      stick = KeyboardStick{};
      break;
    case StickAction::kQuit:
    case StickAction::kInputEnded:
      return false;
    case StickAction::kNone:
    case StickAction::kIgnored:
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
