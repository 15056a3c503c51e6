// How long a lost packet holds the stick: a phone's traffic (a state message 60 times a second)
// sent at once over joywire-send's WebSocket (player 1), over a data channel to it (player 2,
// when built with GStreamer) and as plain datagrams straight to a receiver, from a network
// namespace whose link drops and delays packets (netem, set up by the caller). Each
// message carries its sequence number (X) and its send time (Y, microseconds modulo 2^24), so
// the receiver alone can tell its delay; both sides read the same clock.
//   link-loss PHONE_NETNS SERVER WEB_PORT TOKEN FORWARDED_PORT DIRECT_PORT SECONDS LABEL
// Prints one line a path: "ROW LABEL PATH p50 p95 p99 max freeze lost neutral" (milliseconds;
// lost and neutral are counts: neutral, joywire-send's silence rule letting go while the link
// stalled for more than its 500 ms).
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#ifdef JOYWIRE_BENCH_CHANNEL
#include "bench/channel_phone.h"
#endif

namespace asio = boost::asio;
namespace websocket = boost::beast::websocket;
using Clock = std::chrono::steady_clock;

namespace {

constexpr double kFreezeMs = 50.0;           // a state older than this behind the phone's is frozen
constexpr std::int64_t kTimeWrap = 1 << 24;  // what Y carries of the send time, in microseconds

std::int64_t Micros() {
  return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch())
      .count();
}

struct Arrival {
  std::int64_t sequence;  // 0: the neutral datagram
  std::int64_t sentMicros;
  std::int64_t arrivedMicros;
};

// Datagrams on `port` of `address`, each with its arrival time, until `stop`.
class Receiver {
 public:
  Receiver(const char* address, std::uint16_t port) : fd_(socket(AF_INET, SOCK_DGRAM, 0)) {
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(port);
    inet_pton(AF_INET, address, &at.sin_addr);
    timeval wait{0, 100000};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    if (bind(fd_, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) {
      std::fprintf(stderr, "link-loss: cannot bind %s:%u: %s\n", address, port,
                   std::strerror(errno));
      std::exit(1);
    }
    thread_ = std::thread([this] { Run(); });
  }
  std::vector<Arrival> Stop() {
    stop_ = true;
    thread_.join();
    close(fd_);
    return arrivals_;
  }

 private:
  void Run() {
    unsigned char bytes[64];
    while (!stop_) {
      const ssize_t size = recv(fd_, bytes, sizeof bytes, 0);
      const std::int64_t now = Micros();
      if (size < 20) {
        continue;
      }
      float values[2];
      std::memcpy(values, bytes, sizeof values);  // little-endian, as this machine is
      const auto sent = static_cast<std::int64_t>(values[1]);
      // The send time's lost high bits, from the arrival: a delay is far below 16 s.
      const std::int64_t delay = ((now - sent) % kTimeWrap + kTimeWrap) % kTimeWrap;
      arrivals_.push_back({static_cast<std::int64_t>(values[0]), now - delay, now});
    }
  }
  int fd_;
  std::atomic<bool> stop_{false};
  std::vector<Arrival> arrivals_;
  std::thread thread_;
};

double Percentile(std::vector<double> values, double fraction) {
  if (values.empty()) {
    return NAN;
  }
  std::sort(values.begin(), values.end());
  return values[static_cast<std::size_t>(std::lround(fraction * double(values.size() - 1)))];
}

// The figures of one path: `sent[i]` is when message i + 1 left the phone.
void Report(const char* label, const char* path, const std::vector<std::int64_t>& sent,
            std::vector<Arrival> arrivals) {
  std::vector<double> delays;
  std::vector<bool> seen(sent.size() + 1, false);
  int neutral = 0;
  for (const Arrival& arrival : arrivals) {
    if (arrival.sequence <= 0 || arrival.sequence > std::int64_t(sent.size())) {
      // The silence rule's, while messages were still being sent (not the one after the last).
      neutral += arrival.sequence == 0 && arrival.arrivedMicros <= sent.back();
      continue;
    }
    delays.push_back(double(arrival.arrivedMicros - arrival.sentMicros) / 1000.0);
    seen[std::size_t(arrival.sequence)] = true;
  }
  const auto lost = std::count(seen.begin() + 1, seen.end(), false);
  // The longest stretch, on a 1 ms grid over the run, in which the state the receiver holds
  // (the last datagram's, as a feeder applies each one) was sent more than 50 ms before the
  // phone's latest. The neutral datagram holds no message of the phone's: as old as it gets.
  std::int64_t longest = 0;
  std::int64_t frozenSince = -1;
  std::size_t next = 0;    // the next arrival to take
  std::size_t latest = 0;  // the phone's latest message, as an index into `sent`
  std::int64_t held = -1;  // the send time of the receiver's state; -1: none yet
  for (std::int64_t t = sent.front(); t <= sent.back(); t += 1000) {
    while (latest + 1 < sent.size() && sent[latest + 1] <= t) {
      ++latest;
    }
    while (next < arrivals.size() && arrivals[next].arrivedMicros <= t) {
      const Arrival& arrival = arrivals[next++];
      held = arrival.sequence > 0 ? sent[std::size_t(arrival.sequence - 1)] : 0;
    }
    const bool frozen = held >= 0 && double(sent[latest] - held) / 1000.0 > kFreezeMs;
    if (frozen && frozenSince < 0) {
      frozenSince = t;
    } else if (!frozen && frozenSince >= 0) {
      longest = std::max(longest, t - frozenSince);
      frozenSince = -1;
    }
  }
  if (frozenSince >= 0) {
    longest = std::max(longest, sent.back() - frozenSince);
  }
  std::printf("ROW %s %s %.1f %.1f %.1f %.1f %.0f %ld %d\n", label, path, Percentile(delays, 0.50),
              Percentile(delays, 0.95), Percentile(delays, 0.99),
              delays.empty() ? NAN : *std::max_element(delays.begin(), delays.end()),
              double(longest) / 1000.0, long(lost), neutral);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 9) {
    std::fprintf(stderr,
                 "usage: link-loss PHONE_NETNS SERVER WEB_PORT TOKEN FORWARDED_PORT DIRECT_PORT "
                 "SECONDS LABEL\n");
    return 2;
  }
  const char* server = argv[2];
  const auto webPort = static_cast<std::uint16_t>(std::atoi(argv[3]));
  const std::string token = argv[4];
  const int seconds = std::atoi(argv[7]);
  const char* label = argv[8];
  // The machine's side first: what joywire-send forwards, and the datagrams sent straight.
  Receiver forwarded("127.0.0.1", static_cast<std::uint16_t>(std::atoi(argv[5])));
#ifdef JOYWIRE_BENCH_CHANNEL
  Receiver forwardedFromChannel("127.0.0.2", static_cast<std::uint16_t>(std::atoi(argv[5])));
#endif
  Receiver direct(server, static_cast<std::uint16_t>(std::atoi(argv[6])));
  // Then the phone's, in its namespace: sockets belong to the namespace they are made in.
  const int phone = open(argv[1], O_RDONLY);
  if (phone < 0 || setns(phone, CLONE_NEWNET) != 0) {
    std::fprintf(stderr, "link-loss: cannot enter %s: %s\n", argv[1], std::strerror(errno));
    std::exit(1);  // with the receivers running
  }
  asio::io_context io;
  websocket::stream<asio::ip::tcp::socket> ws(io);
  boost::system::error_code error;
  ws.next_layer().connect({asio::ip::make_address(server), webPort}, error);
  if (!error) {
    ws.next_layer().set_option(asio::ip::tcp::no_delay(true));  // as browsers do
    ws.handshake(std::string(server) + ":" + argv[3], "/ws?token=" + token, error);
  }
  if (error) {
    std::fprintf(stderr, "link-loss: no WebSocket to %s:%u: %s\n", server, webPort,
                 error.message().c_str());
    std::exit(1);
  }
  ws.binary(true);
#ifdef JOYWIRE_BENCH_CHANNEL
  ChannelPhone channel;
  std::string why;
  if (!channel.Open(server, webPort, token, why)) {
    std::fprintf(stderr, "link-loss: no data channel: %s\n", why.c_str());
    std::exit(1);
  }
#endif
  const int udp = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<std::uint16_t>(std::atoi(argv[6])));
  inet_pton(AF_INET, server, &to.sin_addr);

  // Each path's message leaves with its own send time: a write that blocks on one path (TCP's,
  // in a loss) is not counted against the paths sent after it.
  std::vector<std::int64_t> sentWebSocket, sentStraight, sentChannel;
  const auto stamp = [](std::vector<std::int64_t>& sent, int sequence, float(&values)[5]) {
    const std::int64_t now = Micros();
    sent.push_back(now);
    values[0] = float(sequence);
    values[1] = float(now % kTimeWrap);
  };
  const int count = seconds * 60;
  const auto start = Clock::now();
  for (int i = 1; i <= count; ++i) {
    std::this_thread::sleep_until(start + std::chrono::microseconds(i * 1000000LL / 60));
    float values[5] = {0, 0, 0.5f, 0.0f, 0.0f};
#ifdef JOYWIRE_BENCH_CHANNEL
    stamp(sentChannel, i, values);
    channel.Send(static_cast<std::uint32_t>(i), values);
#endif
    stamp(sentStraight, i, values);
    sendto(udp, values, sizeof values, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    stamp(sentWebSocket, i, values);
    ws.write(asio::buffer(values, sizeof values), error);
    if (error) {
      std::fprintf(stderr, "link-loss: the WebSocket failed: %s\n", error.message().c_str());
      std::exit(1);
    }
  }
  // What is still on its way (a retransmission after a long fade), then the figures.
  std::this_thread::sleep_for(std::chrono::seconds(3));
  const std::vector<Arrival> viaWebSocket = forwarded.Stop();  // before the close's neutral
  const std::vector<Arrival> straight = direct.Stop();
#ifdef JOYWIRE_BENCH_CHANNEL
  const std::vector<Arrival> viaChannel = forwardedFromChannel.Stop();
#endif
  ws.close(websocket::close_code::normal, error);
  Report(label, "websocket", sentWebSocket, viaWebSocket);
  Report(label, "datagrams", sentStraight, straight);
#ifdef JOYWIRE_BENCH_CHANNEL
  Report(label, "channel", sentChannel, viaChannel);
#endif
  return 0;
}
