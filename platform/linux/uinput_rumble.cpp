#include "platform/linux/uinput_rumble.h"

#include <linux/uinput.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "control/rumble.h"
#include "platform/posix/rumble_receive.h"

namespace joywire {

namespace {

int g_deviceFd = -1;  // the uinput device's, once it is made

RumbleLevel MagnitudesOf(const ff_effect& effect) {
  if (effect.type != FF_RUMBLE) {
    return {0, 0};  // only rumble is offered
  }
  return {effect.u.rumble.strong_magnitude, effect.u.rumble.weak_magnitude};
}

// A game's upload or erase, answered at once.
void Answer(const input_event& event, RumbleMixer& mixer) {
  if (event.code == UI_FF_UPLOAD) {
    uinput_ff_upload upload{};
    upload.request_id = static_cast<std::uint32_t>(event.value);
    if (ioctl(g_deviceFd, UI_BEGIN_FF_UPLOAD, &upload) == 0) {
      const bool kept =
          upload.effect.type == FF_RUMBLE &&
          mixer.Upload(upload.effect.id, MagnitudesOf(upload.effect), upload.effect.replay.length);
      upload.retval = kept ? 0 : -EINVAL;
      ioctl(g_deviceFd, UI_END_FF_UPLOAD, &upload);
    }
  } else if (event.code == UI_FF_ERASE) {
    uinput_ff_erase erase{};
    erase.request_id = static_cast<std::uint32_t>(event.value);
    if (ioctl(g_deviceFd, UI_BEGIN_FF_ERASE, &erase) == 0) {
      mixer.Erase(static_cast<int>(erase.effect_id));
      erase.retval = 0;
      ioctl(g_deviceFd, UI_END_FF_ERASE, &erase);
    }
  }
}

// Everything the device has for its owner now.
void ServeDevice(RumbleMixer& mixer, std::int64_t now) {
  input_event events[16];
  for (;;) {
    const ssize_t got = read(g_deviceFd, events, sizeof events);
    if (got <= 0) {
      return;  // none left (the descriptor does not block)
    }
    for (std::size_t i = 0; i < static_cast<std::size_t>(got) / sizeof(input_event); ++i) {
      const input_event& event = events[i];
      if (event.type == EV_UINPUT) {
        Answer(event, mixer);
      } else if (event.type == EV_FF && event.code == FF_GAIN) {
        mixer.SetGain(static_cast<std::uint16_t>(event.value));
      } else if (event.type == EV_FF) {
        mixer.Play(event.code, event.value, now);
      }
    }
  }
}

}  // namespace

void OfferRumble(libevdev* description) {
  libevdev_enable_event_type(description, EV_FF);
  libevdev_enable_event_code(description, EV_FF, FF_RUMBLE, nullptr);
  libevdev_enable_event_code(description, EV_FF, FF_GAIN, nullptr);
}

bool CreateUinputDevice(const libevdev* description, int fd) {
  static constexpr struct {
    unsigned type;
    unsigned long request;
    unsigned max;
  } kBits[] = {{EV_KEY, UI_SET_KEYBIT, KEY_MAX},
               {EV_ABS, UI_SET_ABSBIT, ABS_MAX},
               {EV_FF, UI_SET_FFBIT, FF_MAX}};
  ioctl(fd, UI_SET_EVBIT, EV_SYN);
  for (const auto& bits : kBits) {
    if (!libevdev_has_event_type(description, bits.type)) {
      continue;
    }
    if (ioctl(fd, UI_SET_EVBIT, bits.type) != 0) {
      return false;
    }
    for (unsigned code = 0; code <= bits.max; ++code) {
      if (!libevdev_has_event_code(description, bits.type, code)) {
        continue;
      }
      if (ioctl(fd, bits.request, code) != 0) {
        return false;
      }
      if (bits.type == EV_ABS) {
        uinput_abs_setup axis{};
        axis.code = static_cast<std::uint16_t>(code);
        axis.absinfo = *libevdev_get_abs_info(description, code);
        if (ioctl(fd, UI_ABS_SETUP, &axis) != 0) {
          return false;
        }
      }
    }
  }
  uinput_setup setup{};
  std::strncpy(setup.name, libevdev_get_name(description), UINPUT_MAX_NAME_SIZE - 1);
  setup.id.bustype = static_cast<std::uint16_t>(libevdev_get_id_bustype(description));
  setup.id.vendor = static_cast<std::uint16_t>(libevdev_get_id_vendor(description));
  setup.id.product = static_cast<std::uint16_t>(libevdev_get_id_product(description));
  setup.id.version = static_cast<std::uint16_t>(libevdev_get_id_version(description));
  setup.ff_effects_max = RumbleMixer::kEffects;
  return ioctl(fd, UI_DEV_SETUP, &setup) == 0 && ioctl(fd, UI_DEV_CREATE) == 0;
}

void InstallRumble(Platform& platform) {
  InstallRumbleReceive(platform);
}

void ServeRumbleOn(int deviceFd) {
  g_deviceFd = deviceFd;
  ServeRumbleFrom(RumbleDevice{deviceFd, ServeDevice, nullptr, nullptr, nullptr});
}

}  // namespace joywire
