#include "platform/linux/uinput_profile.h"

#include <cstdio>
#include <cstring>

namespace joywire {

namespace {

constexpr int kAxisMaximum = 32767;

// The joystick as it has always been: bindings made against it keep working.
constexpr unsigned kJoystickAxes[] = {ABS_X, ABS_Y, ABS_Z};
constexpr unsigned kJoystickButtons[] = {BTN_TRIGGER, BTN_THUMB};

// The gamepad: sticks on X/Y and RX/RY, analog triggers on Z and RZ (the head's Z and the
// tail's third axis), the d-pad on the first hat.
constexpr unsigned kGamepadAxes[] = {ABS_X, ABS_Y, ABS_Z, ABS_RX, ABS_RY, ABS_RZ};
// Buttons 1-11 by the kernel's gamepad names (BTN_X and BTN_Y, the codes SDL and the Xbox
// driver read as X and Y), then 12-32 as the kernel's spare joystick buttons.
constexpr unsigned kGamepadButtons[32] = {
    BTN_SOUTH,
    BTN_EAST,
    BTN_X,
    BTN_Y,
    BTN_TL,
    BTN_TR,
    BTN_SELECT,
    BTN_START,
    BTN_MODE,
    BTN_THUMBL,
    BTN_THUMBR,
    BTN_TRIGGER_HAPPY1,
    BTN_TRIGGER_HAPPY2,
    BTN_TRIGGER_HAPPY3,
    BTN_TRIGGER_HAPPY4,
    BTN_TRIGGER_HAPPY5,
    BTN_TRIGGER_HAPPY6,
    BTN_TRIGGER_HAPPY7,
    BTN_TRIGGER_HAPPY8,
    BTN_TRIGGER_HAPPY9,
    BTN_TRIGGER_HAPPY10,
    BTN_TRIGGER_HAPPY11,
    BTN_TRIGGER_HAPPY12,
    BTN_TRIGGER_HAPPY13,
    BTN_TRIGGER_HAPPY14,
    BTN_TRIGGER_HAPPY15,
    BTN_TRIGGER_HAPPY16,
    BTN_TRIGGER_HAPPY17,
    BTN_TRIGGER_HAPPY18,
    BTN_TRIGGER_HAPPY19,
    BTN_TRIGGER_HAPPY20,
    BTN_TRIGGER_HAPPY21,
};

// The hat's direction (1 up, clockwise to 8 up-left) as HAT0X and HAT0Y.
constexpr int kHatX[9] = {0, 0, 1, 1, 1, 0, -1, -1, -1};
constexpr int kHatY[9] = {0, -1, -1, 0, 1, 1, 1, 0, -1};

// The gamepad's own identity: 0x4A57 ("JW") is no vendor's in the USB ID list, and the
// product and version never change, so SDL's GUID (bus, name, vendor, product, version)
// stays the same across restarts and reboots, and one name per device number keeps two
// gamepads apart.
constexpr std::uint16_t kGamepadVendor = 0x4A57;
constexpr std::uint16_t kGamepadProduct = 0x4750;  // "GP"

template <std::size_t N>
bool EnableAll(libevdev* description, unsigned type, const unsigned (&codes)[N],
               const input_absinfo* axis) {
  for (const unsigned code : codes) {
    if (libevdev_enable_event_code(description, type, code, axis) != 0) {
      return false;
    }
  }
  return true;
}

void Put(input_event*& at, unsigned type, unsigned code, int value) {
  at->type = static_cast<std::uint16_t>(type);
  at->code = static_cast<std::uint16_t>(code);
  at->value = value;
  ++at;
}

}  // namespace

bool ParseDeviceProfile(const char* text, DeviceProfile& profile) {
  if (text == nullptr || *text == '\0' || std::strcmp(text, "joystick") == 0) {
    profile = DeviceProfile::kJoystick;
    return true;
  }
  if (std::strcmp(text, "gamepad") == 0) {
    profile = DeviceProfile::kGamepad;
    return true;
  }
  return false;
}

const wchar_t* ProductOfProfile(DeviceProfile profile) {
  return profile == DeviceProfile::kGamepad ? L"joywire gamepad" : L"joywire virtual joystick";
}

libevdev* DescribeDevice(DeviceProfile profile, std::uint32_t device) {
  libevdev* description = libevdev_new();
  if (description == nullptr) {
    return nullptr;
  }
  const bool gamepad = profile == DeviceProfile::kGamepad;
  char name[64];
  std::snprintf(name, sizeof name, gamepad ? "joywire gamepad %u" : "joywire virtual joystick %u",
                device);
  libevdev_set_name(description, name);
  libevdev_set_id_bustype(description, BUS_VIRTUAL);
  libevdev_set_id_vendor(description, gamepad ? kGamepadVendor : 0x1209);
  libevdev_set_id_product(description, gamepad ? kGamepadProduct : 0x4A57);
  libevdev_set_id_version(description, 1);
  input_absinfo axis{};
  axis.maximum = kAxisMaximum;
  input_absinfo hat{};
  hat.minimum = -1;
  hat.maximum = 1;
  bool ok = libevdev_enable_event_type(description, EV_ABS) == 0 &&
            libevdev_enable_event_type(description, EV_KEY) == 0;
  if (gamepad) {
    ok = ok && EnableAll(description, EV_ABS, kGamepadAxes, &axis) &&
         libevdev_enable_event_code(description, EV_ABS, ABS_HAT0X, &hat) == 0 &&
         libevdev_enable_event_code(description, EV_ABS, ABS_HAT0Y, &hat) == 0 &&
         EnableAll(description, EV_KEY, kGamepadButtons, nullptr);
  } else {
    ok = ok && EnableAll(description, EV_ABS, kJoystickAxes, &axis) &&
         EnableAll(description, EV_KEY, kJoystickButtons, nullptr);
  }
  if (!ok) {
    libevdev_free(description);
    return nullptr;
  }
  return description;
}

std::size_t FillFrame(DeviceProfile profile, const JoystickPosition& position,
                      const ExtraControls& extras, input_event* frame) {
  input_event* at = frame;
  const auto buttons = static_cast<std::uint32_t>(position.buttons);
  if (profile == DeviceProfile::kJoystick) {
    Put(at, EV_ABS, ABS_X, position.x);
    Put(at, EV_ABS, ABS_Y, position.y);
    Put(at, EV_ABS, ABS_Z, position.z);
    Put(at, EV_KEY, BTN_TRIGGER, buttons & 1);
    Put(at, EV_KEY, BTN_THUMB, (buttons >> 1) & 1);
  } else {
    // Before the first datagram a gamepad shows its sticks centred, whatever the joystick's
    // rest says of Y: a stick held up by nobody is the one thing it must not show.
    Put(at, EV_ABS, ABS_X, extras.atRest ? 16383 : position.x);
    Put(at, EV_ABS, ABS_Y, extras.atRest ? 16383 : position.y);
    Put(at, EV_ABS, ABS_Z, position.z);
    Put(at, EV_ABS, ABS_RX, extras.axes[0]);
    Put(at, EV_ABS, ABS_RY, extras.axes[1]);
    Put(at, EV_ABS, ABS_RZ, extras.axes[2]);
    const unsigned hat = extras.hat <= kHatDirections ? extras.hat : kHatCentred;
    Put(at, EV_ABS, ABS_HAT0X, kHatX[hat]);
    Put(at, EV_ABS, ABS_HAT0Y, kHatY[hat]);
    for (unsigned bit = 0; bit < 32; ++bit) {
      Put(at, EV_KEY, kGamepadButtons[bit], static_cast<int>((buttons >> bit) & 1));
    }
  }
  Put(at, EV_SYN, SYN_REPORT, 0);
  return static_cast<std::size_t>(at - frame);
}

}  // namespace joywire
