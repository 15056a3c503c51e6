#pragma once

// Rumble on the uinput device. With force feedback offered, the kernel hands the device's owner
// a game's effects to upload and erase, and its plays and gain, on the device's own descriptor;
// a game's upload waits until the owner answers. So the feeder's receive waits on the socket
// and the device together, answers at once what the device asks, and sends the level the game
// plays back to the address whose datagrams it last updated from (control/rumble.h).
#include <libevdev/libevdev.h>

#include "feeder/platform.h"

namespace joywire {

// `description` offers rumble (FF_RUMBLE and FF_GAIN).
void OfferRumble(libevdev* description);

// Makes the device `description` describes on the open /dev/uinput `fd`, with room for the
// rumble effects (which libevdev's own making leaves out); false when the kernel refuses.
bool CreateUinputDevice(const libevdev* description, int fd);

// The platform's receive becomes the socket layer's own, serving the device meanwhile once it
// is made (`ServeRumbleOn`, its descriptor).
void InstallRumble(Platform& platform);
void ServeRumbleOn(int deviceFd);

}  // namespace joywire
