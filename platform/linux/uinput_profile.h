#pragma once

// What the uinput device is: today's joystick, or a gamepad laid out as the kernel documents
// gamepads, so that SDL (and the games and Proton that follow it) map it with no mapping file.
// Chosen per feeder by JOYWIRE_PROFILE, so that the command line and the address dialogue stay
// as they are; joywire@N's wrapper sets it from /etc/joywire/joywire@N.profile.

#include <libevdev/libevdev.h>
#include <linux/input.h>

#include <cstddef>
#include <cstdint>

#include "control/position_record.h"
#include "control/record_tail.h"

namespace joywire {

enum class DeviceProfile { kJoystick, kGamepad };

inline constexpr char kProfileVariable[] = "JOYWIRE_PROFILE";

// The profile `text` names: unset or empty is the joystick. False for any other name.
bool ParseDeviceProfile(const char* text, DeviceProfile& profile);

// "joywire virtual joystick" or "joywire gamepad": what the feeder prints as its product.
const wchar_t* ProductOfProfile(DeviceProfile profile);

// The device's name, identity and controls, or null.
libevdev* DescribeDevice(DeviceProfile profile, std::uint32_t device);

// Room for the longest frame: every axis, the hat, 32 buttons and the frame's end.
inline constexpr std::size_t kMaxFrameEvents = 48;

// The whole state in one frame of input events, ending in SYN_REPORT; returns their count.
std::size_t FillFrame(DeviceProfile profile, const JoystickPosition& position,
                      const ExtraControls& extras, input_event* frame);

}  // namespace joywire
