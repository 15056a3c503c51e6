// The feeder's driver on Linux: a virtual joystick made with the kernel's uinput, through
// libevdev. Device n is "joywire virtual joystick <n>", held by one process at a time.
#include <fcntl.h>
#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>
#include <linux/input.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "feeder/platform.h"

namespace joywire {

namespace {

constexpr std::uint32_t kFirstDevice = 1;
constexpr std::uint32_t kLastDevice = 16;
constexpr int kAxisMaximum = 32767;
constexpr char kUinputPath[] = "/dev/uinput";

struct UinputState {
  int uinputFd = -1;       // opened by vJoyEnabled; holds the lock, then becomes the device
  std::uint32_t held = 0;  // the device number this process holds, 0 for none
  libevdev* description = nullptr;  // kept while the device lives
  libevdev_uinput* device = nullptr;
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

int UinputEnabled() {
  static bool told = false;
  if (g_state.uinputFd < 0) {
    g_state.uinputFd = open(kUinputPath, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
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
  return L"joywire virtual joystick";
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

// The joystick's description, or null.
libevdev* DescribeJoystick(std::uint32_t device) {
  libevdev* description = libevdev_new();
  if (description == nullptr) {
    return nullptr;
  }
  char name[64];
  std::snprintf(name, sizeof name, "joywire virtual joystick %u", device);
  libevdev_set_name(description, name);
  libevdev_set_id_bustype(description, BUS_VIRTUAL);
  libevdev_set_id_vendor(description, 0x1209);  // the open-source hardware vendor id
  libevdev_set_id_product(description, 0x4A57);
  libevdev_set_id_version(description, 1);
  input_absinfo axis{};
  axis.minimum = 0;
  axis.maximum = kAxisMaximum;
  bool ok = libevdev_enable_event_type(description, EV_ABS) == 0 &&
            libevdev_enable_event_type(description, EV_KEY) == 0;
  for (const unsigned code : {ABS_X, ABS_Y, ABS_Z}) {
    ok = ok && libevdev_enable_event_code(description, EV_ABS, code, &axis) == 0;
  }
  for (const unsigned code : {BTN_TRIGGER, BTN_THUMB}) {
    ok = ok && libevdev_enable_event_code(description, EV_KEY, code, nullptr) == 0;
  }
  if (!ok) {
    libevdev_free(description);
    return nullptr;
  }
  return description;
}

int UinputAcquire(std::uint32_t device) {
  if (g_state.held == device && g_state.device != nullptr) {
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
  libevdev* description = DescribeJoystick(device);
  if (description == nullptr ||
      libevdev_uinput_create_from_device(description, g_state.uinputFd, &g_state.device) != 0) {
    if (description != nullptr) {
      libevdev_free(description);
    }
    lock.l_type = F_UNLCK;
    fcntl(g_state.uinputFd, F_OFD_SETLK, &lock);
    g_state.device = nullptr;
    return 0;
  }
  g_state.description = description;
  g_state.held = device;
  return 1;
}

// The whole position in one write: three axes, two buttons and the frame's end. The frame's
// types and codes are set once; each update fills in its five values.
int UinputUpdate(std::uint32_t device, PositionRecord* record) {
  static input_event frame[6] = {
      {{}, EV_ABS, ABS_X, 0},       {{}, EV_ABS, ABS_Y, 0},     {{}, EV_ABS, ABS_Z, 0},
      {{}, EV_KEY, BTN_TRIGGER, 0}, {{}, EV_KEY, BTN_THUMB, 0}, {{}, EV_SYN, SYN_REPORT, 0},
  };
  if (g_state.device == nullptr || device != g_state.held) {
    return 0;
  }
  const JoystickPosition position = ReadPosition(*record);
  frame[0].value = position.x;
  frame[1].value = position.y;
  frame[2].value = position.z;
  frame[3].value = position.buttons & 1;
  frame[4].value = (position.buttons >> 1) & 1;
  const ssize_t written = write(libevdev_uinput_get_fd(g_state.device), frame, sizeof frame);
  return written == static_cast<ssize_t>(sizeof frame) ? 1 : 0;
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
}

}  // namespace joywire
