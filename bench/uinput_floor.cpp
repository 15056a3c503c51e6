// The least a uinput feeder can do per datagram: receive it, then one write of the same six
// input_events joywire writes (three axes, two buttons, the frame's end) to a uinput joystick.
// Made with the kernel's uinput ioctls only.
//   uinput-floor ADDRESS PORT
#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/uinput.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: uinput-floor ADDRESS PORT\n");
    return 2;
  }
  const int device = open("/dev/uinput", O_WRONLY | O_NONBLOCK);
  bool ok = device >= 0 && ioctl(device, UI_SET_EVBIT, EV_ABS) == 0 &&
            ioctl(device, UI_SET_EVBIT, EV_KEY) == 0;
  for (const int code : {ABS_X, ABS_Y, ABS_Z}) {
    uinput_abs_setup axis{};
    axis.code = static_cast<__u16>(code);
    axis.absinfo.maximum = 32767;
    ok = ok && ioctl(device, UI_SET_ABSBIT, code) == 0 && ioctl(device, UI_ABS_SETUP, &axis) == 0;
  }
  for (const int code : {BTN_TRIGGER, BTN_THUMB}) {
    ok = ok && ioctl(device, UI_SET_KEYBIT, code) == 0;
  }
  uinput_setup setup{};
  setup.id.bustype = BUS_VIRTUAL;
  std::strcpy(setup.name, "uinput floor");
  ok = ok && ioctl(device, UI_DEV_SETUP, &setup) == 0 && ioctl(device, UI_DEV_CREATE) == 0;
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<unsigned short>(std::atoi(argv[2])));
  address.sin_addr.s_addr = inet_addr(argv[1]);
  if (!ok || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    std::perror("uinput-floor");
    return 1;
  }
  std::puts("ready");
  std::fflush(stdout);
  input_event events[6] = {};
  const unsigned short types[6] = {EV_ABS, EV_ABS, EV_ABS, EV_KEY, EV_KEY, EV_SYN};
  const unsigned short codes[6] = {ABS_X, ABS_Y, ABS_Z, BTN_TRIGGER, BTN_THUMB, SYN_REPORT};
  for (int i = 0; i < 6; ++i) {
    events[i].type = types[i];
    events[i].code = codes[i];
  }
  char buffer[20];
  for (int n = 0;; ++n) {
    if (recvfrom(fd, buffer, sizeof buffer, 0, nullptr, nullptr) < 0) {
      return 1;
    }
    // The frame changes as joywire's do under joywire-send --flood: X walks, button 1 toggles.
    events[0].value = n & 0x7FFF;
    events[3].value = n & 1;
    if (write(device, events, sizeof events) != static_cast<ssize_t>(sizeof events)) {
      return 1;
    }
  }
}
