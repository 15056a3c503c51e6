#pragma once

#include <cstddef>

namespace joywire {

// The keyboard sender's keys, as the platform's key reader reports them.
enum class Key {
  kNone,  // nothing pressed before the wait ran out
  kUp,
  kDown,
  kLeft,
  kRight,
  kPageUp,
  kPageDown,
  kButton1,
  kButton2,
  kCentre,
  kQuit,
  kOther,
};

// A key from a plain character: W/A/S/D, R/F, 1, 2, space, q; Esc and Ctrl-C quit.
Key KeyFromCharacter(int character);

// The stick a person steers: axes in tenths (-10..10, so steps add up exactly) and two
// latched buttons, since terminals report no key releases.
struct KeyboardStick {
  int xTenths;
  int yTenths;
  int zTenths;
  bool button1;
  bool button2;
};

// Applies one key. Up pushes the stick forward, which a joystick reports as a lower Y.
// Returns false for the keys that quit.
bool ApplyKey(KeyboardStick& stick, Key key);

// The five values of the datagram for the stick: X, Y, Z in -1..1, buttons 1.0 or 0.0.
void StickValues(const KeyboardStick& stick, float values[5]);

// The one-line display of the current values, always the same width.
std::size_t FormatStick(const KeyboardStick& stick, char* out, std::size_t capacity);

}  // namespace joywire
