#include "platform/linux/uinput_rumble.h"

#include <linux/uinput.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "control/rumble.h"
#include "platform/posix/posix_host.h"

namespace joywire {

namespace {

// While datagrams flood in, the device is still looked at this often: a game's upload waits
// for its answer.
constexpr std::int64_t kDeviceLookUs = 1000;
// A wait this short found a datagram already queued.
constexpr std::int64_t kQueuedUs = 50;
// A sender silent this long is gone: nothing more is sent to it.
constexpr std::int64_t kSenderGoneMs = 3000;

struct RumbleState {
  int deviceFd = -1;
  int (*hostReceive)(SocketHandle, char*, int, int) = nullptr;
  RumbleMixer mixer;
  RumbleSchedule schedule;
  bool flooding = false;
  std::int64_t lastLook = 0;                          // microseconds
  std::int64_t lastDatagram = -kSenderGoneMs * 1000;  // microseconds
};

RumbleState g_rumble;

std::int64_t NowUs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return std::int64_t{now.tv_sec} * 1000000 + now.tv_nsec / 1000;
}

RumbleLevel MagnitudesOf(const ff_effect& effect) {
  if (effect.type != FF_RUMBLE) {
    return {0, 0};  // only rumble is offered
  }
  return {effect.u.rumble.strong_magnitude, effect.u.rumble.weak_magnitude};
}

// A game's upload or erase, answered at once.
void Answer(const input_event& event) {
  if (event.code == UI_FF_UPLOAD) {
    uinput_ff_upload upload{};
    upload.request_id = static_cast<std::uint32_t>(event.value);
    if (ioctl(g_rumble.deviceFd, UI_BEGIN_FF_UPLOAD, &upload) == 0) {
      const bool kept = upload.effect.type == FF_RUMBLE &&
                        g_rumble.mixer.Upload(upload.effect.id, MagnitudesOf(upload.effect),
                                              upload.effect.replay.length);
      upload.retval = kept ? 0 : -EINVAL;
      ioctl(g_rumble.deviceFd, UI_END_FF_UPLOAD, &upload);
    }
  } else if (event.code == UI_FF_ERASE) {
    uinput_ff_erase erase{};
    erase.request_id = static_cast<std::uint32_t>(event.value);
    if (ioctl(g_rumble.deviceFd, UI_BEGIN_FF_ERASE, &erase) == 0) {
      g_rumble.mixer.Erase(static_cast<int>(erase.effect_id));
      erase.retval = 0;
      ioctl(g_rumble.deviceFd, UI_END_FF_ERASE, &erase);
    }
  }
}

// Everything the device has for its owner now.
void ServeDevice(std::int64_t now) {
  input_event events[16];
  for (;;) {
    const ssize_t got = read(g_rumble.deviceFd, events, sizeof events);
    if (got <= 0) {
      return;  // none left (the descriptor does not block)
    }
    for (std::size_t i = 0; i < static_cast<std::size_t>(got) / sizeof(input_event); ++i) {
      const input_event& event = events[i];
      if (event.type == EV_UINPUT) {
        Answer(event);
      } else if (event.type == EV_FF && event.code == FF_GAIN) {
        g_rumble.mixer.SetGain(static_cast<std::uint16_t>(event.value));
      } else if (event.type == EV_FF) {
        g_rumble.mixer.Play(event.code, event.value, now);
      }
    }
  }
}

// The level to tell: the game's, while a sender is known and heard from; else none (a sender
// gone hears at most the zero that ends it).
RumbleLevel LevelToTell(std::int64_t now, SocketAddressV4& sender) {
  const bool heard = LastSender(sender) && now - g_rumble.lastDatagram / 1000 < kSenderGoneMs;
  return heard ? g_rumble.mixer.Level(now) : RumbleLevel{0, 0};
}

// The level, when it is due, to the sender.
void SendDue(SocketHandle socket, std::int64_t now) {
  SocketAddressV4 sender{};
  const RumbleLevel level = LevelToTell(now, sender);
  if (sender.family == 0 || !g_rumble.schedule.Due(level, now)) {
    return;  // never while no sender is known
  }
  std::uint8_t datagram[kRumbleDatagramSize];
  EncodeRumble(level, kRumbleHoldMs, datagram);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = sender.port;
  to.sin_addr.s_addr = sender.address;
  // Never waits: a datagram the socket cannot take now is one renewal fewer.
  sendto(static_cast<int>(socket), datagram, sizeof datagram, MSG_DONTWAIT,
         reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

// How long the wait may last before something is due (-1: until a datagram or the device).
int WaitMs(std::int64_t now) {
  SocketAddressV4 sender{};
  std::int64_t until = g_rumble.mixer.NextEnd(now);
  const std::int64_t due = g_rumble.schedule.Next(LevelToTell(now, sender), now);
  if (due >= 0 && (until < 0 || due < until)) {
    until = due;
  }
  return until < 0 ? -1 : static_cast<int>(until > now ? until - now : 0);
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

namespace {

int ReceiveServingRumble(SocketHandle socket, char* buffer, int length, int flags) {
  if (g_rumble.deviceFd < 0) {
    return g_rumble.hostReceive(socket, buffer, length, flags);  // no device yet
  }
  for (;;) {
    std::int64_t now = NowUs();
    // Datagrams queued up (a flood): taken straight, with a look at the device every
    // millisecond between them. Otherwise one wait on both, as cheap as the receive alone.
    if (g_rumble.flooding && now - g_rumble.lastLook < kDeviceLookUs) {
      const int got = g_rumble.hostReceive(socket, buffer, length, flags | MSG_DONTWAIT);
      if (got >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
        g_rumble.lastDatagram = got >= 0 ? now : g_rumble.lastDatagram;
        return got;
      }
      g_rumble.flooding = false;
    }
    pollfd ready[2] = {{static_cast<int>(socket), POLLIN, 0}, {g_rumble.deviceFd, POLLIN, 0}};
    if (poll(ready, 2, WaitMs(now / 1000)) < 0 && errno != EINTR) {
      return g_rumble.hostReceive(socket, buffer, length, flags);  // as it always did
    }
    const std::int64_t waited = NowUs() - now;
    now += waited;
    g_rumble.lastLook = now;
    if (ready[1].revents != 0) {
      ServeDevice(now / 1000);
    }
    SendDue(socket, now / 1000);
    if (ready[0].revents != 0) {
      g_rumble.flooding = waited < kQueuedUs;  // it was there before the wait
      const int got = g_rumble.hostReceive(socket, buffer, length, flags);
      g_rumble.lastDatagram = got >= 0 ? now : g_rumble.lastDatagram;
      return got;
    }
  }
}

}  // namespace

void InstallRumble(Platform& platform) {
  g_rumble.hostReceive = platform.recvfrom;
  platform.recvfrom = ReceiveServingRumble;
}

void ServeRumbleOn(int deviceFd) {
  g_rumble.deviceFd = deviceFd;
}

}  // namespace joywire
