#pragma once

namespace joywire {

// The demo's position at `seconds` since its start: X and Y trace a circle every four seconds,
// Z ramps from -1 to 1 every four seconds, and the buttons take turns (none, 1, 2, none...),
// one second each.
void DemoMotion(double seconds, float values[5]);

}  // namespace joywire
