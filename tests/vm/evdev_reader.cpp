// Reads a joystick's evdev node the way a game would and prints what it offers and each frame
// of events it delivers, for the checks in the VM.
//   evdev-reader NAME FRAMES SECONDS
// Finds the input device called NAME, prints its identity and capabilities, then one line per
// SYN_REPORT frame ("frame: ABS_X=1 BTN_TRIGGER=1"), until FRAMES frames or SECONDS passed.
//   evdev-reader --joydev PATH EVENTS SECONDS
// The same through the older joystick interface (/dev/input/jsN): its axis and button counts,
// then one line per event after the initial state ("js: axis 0 = -32767").
#include <fcntl.h>
#include <libevdev/libevdev.h>
#include <linux/joystick.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int ReadJoydev(const char* path, int events, int seconds) {
  const int fd = open(path, O_RDONLY | O_NONBLOCK);
  unsigned char axes = 0;
  unsigned char buttons = 0;
  if (fd < 0 || ioctl(fd, JSIOCGAXES, &axes) != 0 || ioctl(fd, JSIOCGBUTTONS, &buttons) != 0) {
    std::printf("joydev: %s cannot be read\n", path);
    return 1;
  }
  std::printf("joydev: %d axes, %d buttons\nready\n", axes, buttons);
  std::fflush(stdout);
  int seen = 0;
  for (int waited = 0; seen < events && waited < seconds * 10;) {
    pollfd ready{fd, POLLIN, 0};
    if (poll(&ready, 1, 100) <= 0) {
      ++waited;
      continue;
    }
    js_event event;
    while (read(fd, &event, sizeof event) == static_cast<ssize_t>(sizeof event)) {
      if ((event.type & JS_EVENT_INIT) == 0) {
        std::printf("js: %s %d = %d\n", event.type == JS_EVENT_AXIS ? "axis" : "button",
                    event.number, event.value);
        ++seen;
      }
    }
    std::fflush(stdout);
  }
  return 0;
}

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "--joydev") == 0) {
    return ReadJoydev(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
  }
  if (argc != 4) {
    std::fprintf(stderr, "usage: evdev-reader NAME FRAMES SECONDS\n");
    return 2;
  }
  const char* wanted = argv[1];
  const int frames = std::atoi(argv[2]);
  const int seconds = std::atoi(argv[3]);
  libevdev* device = nullptr;
  int fd = -1;
  for (int n = 0; n < 64 && device == nullptr; ++n) {
    const std::string path = "/dev/input/event" + std::to_string(n);
    fd = open(path.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd < 0) {
      continue;
    }
    libevdev* candidate = nullptr;
    if (libevdev_new_from_fd(fd, &candidate) == 0 &&
        std::strcmp(libevdev_get_name(candidate), wanted) == 0) {
      device = candidate;
      break;
    }
    libevdev_free(candidate);
    close(fd);
  }
  if (device == nullptr) {
    std::printf("device: not found\n");
    return 1;
  }
  std::printf("device: %s\n", libevdev_get_name(device));
  std::printf("bus: 0x%02x\n", static_cast<unsigned>(libevdev_get_id_bustype(device)));
  for (unsigned code : {ABS_X, ABS_Y, ABS_Z, ABS_RX, ABS_THROTTLE}) {
    if (libevdev_has_event_code(device, EV_ABS, code)) {
      const input_absinfo* info = libevdev_get_abs_info(device, code);
      std::printf("axis: %s %d..%d\n", libevdev_event_code_get_name(EV_ABS, code), info->minimum,
                  info->maximum);
    }
  }
  for (unsigned code = BTN_MISC; code < KEY_MAX; ++code) {
    if (libevdev_has_event_code(device, EV_KEY, code)) {
      std::printf("button: %s\n", libevdev_event_code_get_name(EV_KEY, code));
    }
  }
  std::printf("ready\n");
  std::fflush(stdout);

  std::string frame;
  int seen = 0;
  int waited = 0;
  while (seen < frames && waited < seconds * 10) {
    pollfd ready{fd, POLLIN, 0};
    if (poll(&ready, 1, 100) <= 0) {
      ++waited;
      continue;
    }
    input_event event;
    while (libevdev_next_event(device, LIBEVDEV_READ_FLAG_NORMAL, &event) ==
           LIBEVDEV_READ_STATUS_SUCCESS) {
      if (event.type == EV_SYN && event.code == SYN_REPORT) {
        std::printf("frame:%s\n", frame.c_str());
        std::fflush(stdout);
        frame.clear();
        ++seen;
      } else {
        frame += " ";
        frame += libevdev_event_code_get_name(event.type, event.code);
        frame += "=" + std::to_string(event.value);
      }
    }
  }
  std::printf("frames: %d\n", seen);
  return 0;
}
