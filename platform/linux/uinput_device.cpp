// The feeder's driver on Linux: a virtual joystick made with the kernel's uinput, through
// libevdev. Device n is "joywire virtual joystick <n>", held by one process at a time.
#include <fcntl.h>
#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>
#include <linux/input.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <initializer_list>

#include "feeder/platform.h"

namespace joywire {

namespace {

constexpr std::uint32_t kFirstDevice = 1;
constexpr std::uint32_t kLastDevice = 16;
constexpr int kAxisMaximum = 32767;
constexpr char kUinputPath[] = "/dev/uinput";

struct UinputState {
  int uinputFd = -1;       // opened by vJoyEnabled, handed to libevdev at acquisition
  std::uint32_t held = 0;  // the device number this process holds, 0 for none
  int lockFd = -1;
  libevdev* description = nullptr;
  libevdev_uinput* device = nullptr;
};

UinputState g_state;

bool InRange(std::uint32_t device) {
  return device >= kFirstDevice && device <= kLastDevice;
}

// One lock file per device number. flock is released by the kernel when its holder dies, so a
// crashed feeder never leaves a device busy. A read-only descriptor is enough for flock, so the
// file may belong to another user.
int OpenDeviceLock(std::uint32_t device) {
  const char* directory = access("/run/lock", W_OK) == 0 ? "/run/lock" : "/tmp";
  char path[96];
  std::snprintf(path, sizeof path, "%s/joywire-uinput-%u.lock", directory, device);
  const int fd = open(path, O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd >= 0) {
    fchmod(fd, 0644);
  }
  return fd;
}

int UinputEnabled() {
  if (g_state.uinputFd < 0) {
    g_state.uinputFd = open(kUinputPath, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
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
  if (!InRange(device)) {
    return kDeviceMissing;
  }
  if (g_state.held == device) {
    return kDeviceOwned;
  }
  const int fd = OpenDeviceLock(device);
  if (fd < 0) {
    return kDeviceBusy;
  }
  const bool free = flock(fd, LOCK_EX | LOCK_NB) == 0;
  close(fd);  // also drops the trial lock
  return free ? kDeviceFree : kDeviceBusy;
}

bool DescribeJoystick(std::uint32_t device) {
  libevdev* description = libevdev_new();
  if (description == nullptr) {
    return false;
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
    return false;
  }
  g_state.description = description;
  return true;
}

int UinputAcquire(std::uint32_t device) {
  if (g_state.held == device && g_state.device != nullptr) {
    return 1;
  }
  if (!InRange(device) || g_state.held != 0 || UinputEnabled() == 0) {
    return 0;
  }
  const int lock = OpenDeviceLock(device);
  if (lock < 0 || flock(lock, LOCK_EX | LOCK_NB) != 0) {
    if (lock >= 0) {
      close(lock);
    }
    return 0;
  }
  if (!DescribeJoystick(device) ||
      libevdev_uinput_create_from_device(g_state.description, g_state.uinputFd, &g_state.device) !=
          0) {
    close(lock);
    return 0;
  }
  g_state.lockFd = lock;
  g_state.held = device;
  return 1;
}

// The whole position in one write: three axes, two buttons and the frame's end.
int UinputUpdate(std::uint32_t device, PositionRecord* record) {
  if (g_state.device == nullptr || device != g_state.held) {
    return 0;
  }
  const JoystickPosition position = ReadPosition(*record);
  input_event events[6]{};
  const struct {
    unsigned short type;
    unsigned short code;
    int value;
  } values[6] = {
      {EV_ABS, ABS_X, position.x},
      {EV_ABS, ABS_Y, position.y},
      {EV_ABS, ABS_Z, position.z},
      {EV_KEY, BTN_TRIGGER, (position.buttons & 1) != 0 ? 1 : 0},
      {EV_KEY, BTN_THUMB, (position.buttons & 2) != 0 ? 1 : 0},
      {EV_SYN, SYN_REPORT, 0},
  };
  for (int i = 0; i < 6; ++i) {
    events[i].type = values[i].type;
    events[i].code = values[i].code;
    events[i].value = values[i].value;
  }
  const ssize_t written = write(libevdev_uinput_get_fd(g_state.device), events, sizeof events);
  return written == static_cast<ssize_t>(sizeof events) ? 1 : 0;
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
