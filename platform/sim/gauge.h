#pragma once

#include <cstddef>
#include <cstdint>

#include "control/position_record.h"
#include "control/record_tail.h"
#include "control/rumble.h"

namespace joywire {

// A live gauge of the simulated joystick on a terminal, drawn on standard error in place of
// one trace line per call: the device, X, Y and Z as bars with their values, the two buttons
// as lamps, the count of updates and their rate, and the failed calls; and, while a longer
// record holds any of them, its other buttons, hat and axes. It is redrawn in place,
// at most about 30 times a second, fitted to the terminal's width; the caller asks when the
// next drawing is due and draws it then, so the last state is on screen as soon as datagrams
// stop, and the rate falls to 0 a second later.

void GaugeAcquire(std::uint32_t device, bool ok);
void GaugeUpdate(std::uint32_t device, const JoystickPosition& position,
                 const ExtraControls& extras, bool ok);
// The rumble level sent back to the sender: a line of its own while it is not zero.
void GaugeRumble(RumbleLevel level);

// Milliseconds until a drawing is due (0: now), or -1 when there is nothing to draw.
int GaugeMillisecondsUntilDue();
// Draws the current state if it can be shown.
void GaugeDraw();

// Everything else that reaches the terminal goes through the gauge, which keeps clear of it:
// the program's text, the operator's typing, and the final wait, after which the gauge stays
// on screen as it last was.
void GaugeWriteText(void (*write)(const char*, std::size_t), const char* text, std::size_t length);
void GaugeBeforeInput();
void GaugeAfterInput(int character, bool echoed);
void GaugeFinish();

// The gauge's text for a state, without cursor movement, each line narrower than `columns`.
struct GaugeView {
  std::uint32_t device;
  JoystickPosition position;
  ExtraControls extras;  // the longer record's other controls: a line while any is not at rest
  long long updates;
  long long ratePerSecond;
  long long failedAcquisitions;
  long long failedUpdates;
  RumbleLevel rumble;
};
inline constexpr int kGaugeLines = 7;
std::size_t FormatGauge(const GaugeView& view, int columns, char* out, std::size_t capacity);

}  // namespace joywire
