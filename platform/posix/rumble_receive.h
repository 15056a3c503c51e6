#pragma once

// The feeder's receive on a device that rumbles. A game's effects reach the device's owner on
// a descriptor of the device's own, and a game may wait for the owner's answer; so the receive
// waits on the socket and the device together, hands the device whatever it has at once, and
// sends the level the game plays back to the address whose datagrams the feeder last updated
// from (control/rumble.h): never to another, never while no sender is known or heard from.
#include <cstdint>

#include "control/rumble.h"
#include "feeder/platform.h"

namespace joywire {

struct RumbleDevice {
  int fd;  // readable when the device has something for its owner
  // Takes everything the device has now (it must not block), into the mixer.
  void (*serve)(RumbleMixer& mixer, std::int64_t nowMs);
  // Each level sent back, for a display; may be null.
  void (*told)(RumbleLevel level);
  // A display that falls due while the receive waits: milliseconds until it is (0: now, -1:
  // nothing to show), and its drawing. Both null where there is none.
  int (*displayDueMs)();
  void (*display)();
};

// The platform's receive becomes the socket layer's own, serving the device meanwhile once
// there is one.
void InstallRumbleReceive(Platform& platform);
void ServeRumbleFrom(const RumbleDevice& device);

}  // namespace joywire
