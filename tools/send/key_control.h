#pragma once

#include <chrono>
#include <cstddef>

#include "platform/key_input.h"

namespace joywire {

// What a key does to the keyboard's stick (the terminal's keys are TerminalKeyKind).
enum class StickAction {
  kNone,  // nothing pressed before the wait ran out
  kForward,
  kBack,
  kLeft,
  kRight,
  kThrottleUp,
  kThrottleDown,
  kButton1,
  kButton2,
  kCentre,
  kQuit,
  kIgnored,     // a key that does nothing here
  kInputEnded,  // the terminal is gone: the sender ends without sending more
};

// The action of a plain character: W/A/S/D, R/F, 1, 2, space, q; Esc and Ctrl-C quit.
StickAction ActionOfCharacter(int character);

// The action of a key as the terminal reports it.
StickAction ActionOfKey(const TerminalKey& key);

// When the next datagram at the rate is due after one was due at `due`: a period later, or now
// if that is already past, so a sender held up (stopped, descheduled) carries on from now
// instead of sending the datagrams it missed in a burst.
std::chrono::steady_clock::time_point NextSendTime(std::chrono::steady_clock::time_point due,
                                                   std::chrono::steady_clock::duration period,
                                                   std::chrono::steady_clock::time_point now);

// The stick a person steers: axes in tenths (-10..10, so steps add up exactly) and two
// latched buttons, since terminals report no key releases.
struct KeyboardStick {
  int xTenths;
  int yTenths;
  int zTenths;
  bool button1;
  bool button2;
};

// Applies one action. Forward (up) pushes the stick forward, which a joystick reports as a lower Y.
// Returns false for quitting and for the end of input.
bool ApplyAction(KeyboardStick& stick, StickAction action);

// The five values of the datagram for the stick: X, Y, Z in -1..1, buttons 1.0 or 0.0.
void StickValues(const KeyboardStick& stick, float values[5]);

// The one-line display of the current values, always the same width.
std::size_t FormatStick(const KeyboardStick& stick, char* out, std::size_t capacity);

}  // namespace joywire
