// The feeder's driver on Linux: a virtual joystick made with the kernel's uinput, through
// libevdev. Device n is "joywire virtual joystick <n>" (or "joywire gamepad <n>", see
// uinput_profile.h), held by one process at a time.
#include <fcntl.h>
#include <libevdev/libevdev.h>
#include <linux/input.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "feeder/platform.h"
#include "platform/linux/uinput_profile.h"
#include "platform/linux/uinput_rumble.h"

namespace joywire {

namespace {

constexpr std::uint32_t kFirstDevice = 1;
constexpr std::uint32_t kLastDevice = 16;
constexpr char kUinputPath[] = "/dev/uinput";

struct UinputState {
  int uinputFd = -1;       // opened by vJoyEnabled; holds the lock, then becomes the device
  std::uint32_t held = 0;  // the device number this process holds, 0 for none
  libevdev* description = nullptr;  // kept while the device lives
  bool created = false;
  DeviceProfile profile = DeviceProfile::kJoystick;
  bool profileKnown = false;
  ExtraControls extras = kRestExtraControls;  // shown with the next update
  input_event frame[kMaxFrameEvents] = {};
};

UinputState g_state;

bool InRange(std::uint32_t device) {
  return device >= kFirstDevice && device <= kLastDevice;
}

// Who holds device n is a write lock on byte n of /dev/uinput itself, taken on this process's
// own open of it (an open-file-description lock). It holds for every user because:
// - every feeder, root or not, opens the same /dev/uinput and so meets the same locks; no file
//   is created in a shared folder, none is opened that another user made, no link is followed;
// - whoever may open /dev/uinput may take part, and nobody else could make a joystick anyway;
// - the kernel drops the lock when the open file is closed, which happens however the holder
//   ends, SIGKILL and crashes included, so a device is never left busy.
flock DeviceLock(std::uint32_t device) {
  flock lock{};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = static_cast<off_t>(device);
  lock.l_len = 1;
  lock.l_pid = 0;  // required for open-file-description locks
  return lock;
}

// Standard output carries the run's own lines only; what is missing and what to do about it is
// said on standard error, once.
void SayWhy(const char* text) {
  std::fputs(text, stderr);
  std::fflush(stderr);
}

void SayWhyNoUinput(int error) {
  char line[512];
  if (error == ENOENT || error == ENODEV || error == ENXIO) {
    std::snprintf(line, sizeof line,
                  "joywire: %s is missing: load the kernel's uinput module with "
                  "`sudo modprobe uinput` (the package loads it at every boot)\n",
                  kUinputPath);
  } else if (error == EACCES || error == EPERM) {
    std::snprintf(line, sizeof line,
                  "joywire: no permission to open %s: install the package's udev rule "
                  "(60-joywire-uinput.rules) and log in again, or join the group joywire\n",
                  kUinputPath);
  } else {
    std::snprintf(line, sizeof line, "joywire: cannot open %s: %s\n", kUinputPath,
                  std::strerror(error));
  }
  SayWhy(line);
  SayWhy("joywire: press Enter to end\n");
}

// Whether the environment named a profile; when it did not, that is said once.
bool ProfileKnown() {
  static bool told = false;
  if (!g_state.profileKnown && !told) {
    told = true;
    char line[256];
    std::snprintf(line, sizeof line,
                  "joywire: %s is \"%.64s\": the profiles are joystick (the default) and "
                  "gamepad\n",
                  kProfileVariable, std::getenv(kProfileVariable));
    SayWhy(line);
    SayWhy("joywire: press Enter to end\n");
  }
  return g_state.profileKnown;
}

int UinputEnabled() {
  static bool told = false;
  if (!ProfileKnown()) {
    return 0;
  }
  if (g_state.uinputFd < 0) {
    // Read too: a game's rumble comes to the device's owner on it.
    g_state.uinputFd = open(kUinputPath, O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (g_state.uinputFd < 0 && !told) {
      told = true;
      SayWhyNoUinput(errno);
    }
  }
  return g_state.uinputFd >= 0 ? 1 : 0;
}

const wchar_t* UinputManufacturer() {
  return L"joywire";
}
const wchar_t* UinputProduct() {
  return ProductOfProfile(g_state.profile);
}
const wchar_t* UinputSerialNumber() {
  return L"" JOYWIRE_VERSION;
}

int UinputStatus(std::uint32_t device) {
  char line[256];
  if (!InRange(device)) {
    std::snprintf(line, sizeof line,
                  "joywire: there is no device %d: the devices are numbered %u to %u\n",
                  static_cast<int>(device), kFirstDevice, kLastDevice);
    SayWhy(line);
    return kDeviceMissing;
  }
  if (g_state.held == device) {
    return kDeviceOwned;
  }
  flock lock = DeviceLock(device);
  if (g_state.uinputFd < 0 || fcntl(g_state.uinputFd, F_OFD_GETLK, &lock) != 0) {
    return kStatusUnknown;  // never a guess at "busy"
  }
  if (lock.l_type != F_UNLCK) {
    std::snprintf(line, sizeof line,
                  "joywire: device %u is held by another feeder: end it first (its service is "
                  "joywire@%u; `pgrep -a joywire` lists the feeders), or give another device "
                  "number\n",
                  device, device);
    SayWhy(line);
    return kDeviceBusy;
  }
  return kDeviceFree;
}

int UinputAcquire(std::uint32_t device) {
  if (g_state.held == device && g_state.created) {
    return 1;
  }
  if (!InRange(device) || g_state.held != 0 || UinputEnabled() == 0) {
    return 0;
  }
  // Taken, or lost to a feeder that got there between the status and now.
  flock lock = DeviceLock(device);
  if (fcntl(g_state.uinputFd, F_OFD_SETLK, &lock) != 0) {
    return 0;
  }
  libevdev* description = DescribeDevice(g_state.profile, device);
  if (description != nullptr) {
    OfferRumble(description);
  }
  if (description == nullptr || !CreateUinputDevice(description, g_state.uinputFd)) {
    if (description != nullptr) {
      libevdev_free(description);
    }
    lock.l_type = F_UNLCK;
    fcntl(g_state.uinputFd, F_OFD_SETLK, &lock);
    return 0;
  }
  g_state.description = description;
  g_state.created = true;
  g_state.held = device;
  ServeRumbleOn(g_state.uinputFd);
  return 1;
}

// The whole state in one write, ending in the frame's end, so that a reader never sees half of
// a datagram.
int UinputUpdate(std::uint32_t device, PositionRecord* record) {
  if (!g_state.created || device != g_state.held) {
    return 0;
  }
  const std::size_t count =
      FillFrame(g_state.profile, ReadPosition(*record), g_state.extras, g_state.frame);
  const std::size_t bytes = count * sizeof(input_event);
  const ssize_t written = write(g_state.uinputFd, g_state.frame, bytes);
  return written == static_cast<ssize_t>(bytes) ? 1 : 0;
}

void UinputSetExtraControls(const ExtraControls& controls) {
  g_state.extras = controls;
}

}  // namespace

void InstallDriver(Platform& platform) {
  platform.vJoyEnabled = UinputEnabled;
  platform.GetvJoyManufacturerString = UinputManufacturer;
  platform.GetvJoyProductString = UinputProduct;
  platform.GetvJoySerialNumberString = UinputSerialNumber;
  platform.GetVJDStatus = UinputStatus;
  platform.AcquireVJD = UinputAcquire;
  platform.UpdateVJD = UinputUpdate;
  InstallRumble(platform);
  // Chosen before the run starts: the joystick is fed exactly as it always was, with no
  // extra controls worked out for it.
  g_state.profileKnown = ParseDeviceProfile(std::getenv(kProfileVariable), g_state.profile);
  platform.SetExtraControls =
      g_state.profile == DeviceProfile::kGamepad ? UinputSetExtraControls : nullptr;
}

}  // namespace joywire
