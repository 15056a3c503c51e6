// The phone's lossy link of the link benchmark, on a kernel without netem: two TUN devices, one
// in the phone's network namespace and one in this program's, with this program between them
// doing what netem does on the phone's side. Packets from the phone are delayed (DELAY ms,
// plus or minus JITTER, uniformly: they may overtake one another, as under netem) and lost,
// at a rate or by the Gilbert-Elliott model of netem's gemodel; the other way passes at once.
// Runs until it is ended. The devices exist already (`ip tuntap add ... mode tun`).
//   tun-link PHONE_NETNS PHONE_DEVICE MACHINE_DEVICE DELAY_MS JITTER_MS loss PERCENT
//   tun-link PHONE_NETNS PHONE_DEVICE MACHINE_DEVICE DELAY_MS JITTER_MS gemodel P R 1-H 1-K
#include <fcntl.h>
#include <linux/if.h>
#include <linux/if_tun.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

int OpenTun(const char* name) {
  const int fd = open("/dev/net/tun", O_RDWR | O_CLOEXEC);
  ifreq request{};
  request.ifr_flags = IFF_TUN | IFF_NO_PI;
  std::strncpy(request.ifr_name, name, IFNAMSIZ - 1);
  if (fd < 0 || ioctl(fd, TUNSETIFF, &request) != 0) {
    std::perror(name);
    std::exit(1);
  }
  return fd;
}

// The phone's device, opened in its namespace; then back to this one.
int OpenTunIn(const char* netns, const char* name) {
  const int here = open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
  const int there = open(netns, O_RDONLY | O_CLOEXEC);
  if (here < 0 || there < 0 || setns(there, CLONE_NEWNET) != 0) {
    std::perror(netns);
    std::exit(1);
  }
  const int fd = OpenTun(name);
  setns(here, CLONE_NEWNET);
  close(here);
  close(there);
  return fd;
}

// netem's loss: independent at a rate, or Gilbert-Elliott (a good and a bad state, each with
// its own loss, the state changing before each packet is judged by the one it was in).
struct Loss {
  bool gilbertElliott = false;
  double rate = 0, toBad = 0, toGood = 0, lossBad = 0, lossGood = 0;
  bool bad = false;
  std::mt19937_64 random{20261210};
  bool Lost() {
    std::uniform_real_distribution<double> uniform(0, 1);
    if (!gilbertElliott) {
      return uniform(random) < rate;
    }
    const bool wasBad = bad;
    bad = wasBad ? uniform(random) >= toGood : uniform(random) < toBad;
    return uniform(random) < (wasBad ? lossBad : lossGood);
  }
};

struct Delayed {
  Clock::time_point due;
  std::vector<char> bytes;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 8) {
    std::fprintf(stderr,
                 "usage: tun-link NETNS PHONE_DEVICE MACHINE_DEVICE DELAY JITTER "
                 "(loss PERCENT | gemodel P R 1-H 1-K)\n");
    return 2;
  }
  const auto percent = [](const char* text) { return std::atof(text) / 100; };
  Loss loss;
  if (std::strcmp(argv[6], "gemodel") == 0 && argc >= 11) {
    loss.gilbertElliott = true;
    loss.toBad = percent(argv[7]);
    loss.toGood = percent(argv[8]);
    loss.lossBad = percent(argv[9]);
    loss.lossGood = percent(argv[10]);
  } else {
    loss.rate = percent(argv[7]);
  }
  const double delayMs = std::atof(argv[4]);
  const double jitterMs = std::atof(argv[5]);
  std::uniform_real_distribution<double> delay(delayMs - jitterMs, delayMs + jitterMs);
  std::mt19937_64 random{7};
  const int phone = OpenTunIn(argv[1], argv[2]);
  const int machine = OpenTun(argv[3]);
  std::vector<Delayed> waiting;  // by due time, the soonest last
  char packet[65536];
  for (;;) {
    timespec wait{};  // to the soonest due packet, to the nanosecond (netem's timers are as fine)
    if (!waiting.empty()) {
      const auto left = std::max(Clock::duration::zero(), waiting.back().due - Clock::now());
      const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
      wait.tv_sec = static_cast<time_t>(ns / 1000000000);
      wait.tv_nsec = static_cast<long>(ns % 1000000000);
    }
    pollfd ready[2] = {{phone, POLLIN, 0}, {machine, POLLIN, 0}};
    if (ppoll(ready, 2, waiting.empty() ? nullptr : &wait, nullptr) < 0) {
      continue;
    }
    if (ready[0].revents & POLLIN) {
      const ssize_t got = read(phone, packet, sizeof packet);
      if (got > 0 && !loss.Lost()) {
        const auto due =
            Clock::now() +
            std::chrono::duration_cast<Clock::duration>(
                std::chrono::duration<double, std::milli>(std::max(0.0, delay(random))));
        const auto at =
            std::upper_bound(waiting.begin(), waiting.end(), due,
                             [](auto when, const Delayed& one) { return when > one.due; });
        waiting.insert(at, Delayed{due, std::vector<char>(packet, packet + got)});
      }
    }
    if (ready[1].revents & POLLIN) {
      const ssize_t got = read(machine, packet, sizeof packet);
      if (got > 0) {
        (void)!write(phone, packet, static_cast<std::size_t>(got));
      }
    }
    for (const auto now = Clock::now(); !waiting.empty() && waiting.back().due <= now;) {
      (void)!write(machine, waiting.back().bytes.data(), waiting.back().bytes.size());
      waiting.pop_back();
    }
  }
}
