#pragma once

// Rumble on the simulated joystick, for tests: JOYWIRE_SIM_RUMBLE names a named pipe through
// which a test plays effects as a game would through a driver, one line each:
//   play STRONG WEAK [LENGTH]   one effect at those levels (0..65535), for LENGTH ms (0 or
//                               none: until stopped)
//   stop                        it stops
//   gain GAIN                   the device's gain (0..65535)
// The level goes back to the sender as the real device's does, and `told` hears each one sent.
#include "control/rumble.h"
#include "feeder/platform.h"

namespace joywire {

// False, and nothing done, unless JOYWIRE_SIM_RUMBLE names a pipe that opens. `display`
// (RumbleDevice's) is drawn while the receive waits.
bool InstallSimulatedRumble(Platform& platform, void (*told)(RumbleLevel level),
                            int (*displayDueMs)(), void (*display)());

}  // namespace joywire
