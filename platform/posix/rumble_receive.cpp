#include "platform/posix/rumble_receive.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>

#include <cerrno>

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
  RumbleDevice device{-1, nullptr, nullptr, nullptr, nullptr};
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
  if (g_rumble.device.told != nullptr) {
    g_rumble.device.told(level);
  }
}

// How long the wait may last before something is due (-1: until a datagram or the device).
int WaitMs(std::int64_t now) {
  SocketAddressV4 sender{};
  std::int64_t until = g_rumble.mixer.NextEnd(now);
  const std::int64_t due = g_rumble.schedule.Next(LevelToTell(now, sender), now);
  if (due >= 0 && (until < 0 || due < until)) {
    until = due;
  }
  int wait = until < 0 ? -1 : static_cast<int>(until > now ? until - now : 0);
  const int display = g_rumble.device.displayDueMs != nullptr ? g_rumble.device.displayDueMs() : -1;
  return display >= 0 && (wait < 0 || display < wait) ? display : wait;
}

int ReceiveServingRumble(SocketHandle socket, char* buffer, int length, int flags) {
  if (g_rumble.device.fd < 0) {
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
    pollfd ready[2] = {{static_cast<int>(socket), POLLIN, 0}, {g_rumble.device.fd, POLLIN, 0}};
    if (poll(ready, 2, WaitMs(now / 1000)) < 0 && errno != EINTR) {
      return g_rumble.hostReceive(socket, buffer, length, flags);  // as it always did
    }
    const std::int64_t waited = NowUs() - now;
    now += waited;
    g_rumble.lastLook = now;
    if (ready[1].revents != 0) {
      g_rumble.device.serve(g_rumble.mixer, now / 1000);
    }
    SendDue(socket, now / 1000);
    if (g_rumble.device.display != nullptr && g_rumble.device.displayDueMs() == 0) {
      g_rumble.device.display();
    }
    if (ready[0].revents != 0) {
      g_rumble.flooding = waited < kQueuedUs;  // it was there before the wait
      const int got = g_rumble.hostReceive(socket, buffer, length, flags);
      g_rumble.lastDatagram = got >= 0 ? now : g_rumble.lastDatagram;
      return got;
    }
  }
}

}  // namespace

void InstallRumbleReceive(Platform& platform) {
  g_rumble.hostReceive = platform.recvfrom;
  platform.recvfrom = ReceiveServingRumble;
}

void ServeRumbleFrom(const RumbleDevice& device) {
  g_rumble.device = device;
}

}  // namespace joywire
