// The web mode's server cost: from a controller's WebSocket message to its datagram, through
// joywire-send --web on loopback, message by message. The floor, in the same run: the same 20
// bytes over a bare TCP connection, turned into a datagram by the least code that can (read,
// send). Both are timed by the client from its write to the datagram's arrival.
//   web-latency JOYWIRE_SEND [COUNT]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace asio = boost::asio;
namespace websocket = boost::beast::websocket;
using Clock = std::chrono::steady_clock;

extern char** environ;

namespace {

int UdpReceiver(std::uint16_t& port) {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  port = ntohs(address.sin_port);
  return fd;
}

// Microseconds from `send` to the datagram, COUNT times.
template <typename Send>
std::vector<double> Measure(int udp, int count, Send send) {
  std::vector<double> micros;
  unsigned char datagram[64];
  for (int i = 0; i < count; ++i) {
    const auto start = Clock::now();
    send(i);
    recv(udp, datagram, sizeof datagram, 0);
    micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  return micros;
}

double Percentile(std::vector<double> values, double fraction) {
  std::sort(values.begin(), values.end());
  return values[static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1))];
}

void Message(int i, float out[5]) {
  out[0] = static_cast<float>(i % 200) / 100.0f - 1.0f;  // a new value each time
  out[1] = out[2] = out[3] = out[4] = 0.0f;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: web-latency JOYWIRE_SEND [COUNT]\n");
    return 2;
  }
  const int count = argc > 2 ? std::atoi(argv[2]) : 10000;
  std::uint16_t udpPort = 0;
  const int udp = UdpReceiver(udpPort);

  // joywire-send --web, its first address line read for the token.
  const std::string webPort = "18417";
  const std::string port = std::to_string(udpPort);
  const char* arguments[] = {argv[1],         "--web",  "--web-address", "127.0.0.1", "--web-port",
                             webPort.c_str(), "--port", port.c_str(),    nullptr};
  int output[2];
  pipe(output);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, output[1], 1);
  pid_t server = 0;
  posix_spawn(&server, argv[1], &actions, nullptr, const_cast<char**>(arguments), environ);
  close(output[1]);
  std::string text;
  char chunk[256];
  std::size_t token = std::string::npos;
  while (token == std::string::npos || text.find('\n', token) == std::string::npos) {
    const ssize_t got = read(output[0], chunk, sizeof chunk);
    if (got <= 0) {
      std::fprintf(stderr, "web-latency: joywire-send ended: %s\n", text.c_str());
      return 1;
    }
    text.append(chunk, static_cast<std::size_t>(got));
    token = text.find('#');
  }
  const std::string pairing = text.substr(token + 1, text.find('\n', token) - token - 1);

  asio::io_context io;
  websocket::stream<asio::ip::tcp::socket> socket(io);
  asio::connect(socket.next_layer(), asio::ip::tcp::resolver(io).resolve("127.0.0.1", webPort));
  socket.next_layer().set_option(asio::ip::tcp::no_delay(true));
  socket.handshake("127.0.0.1:" + webPort, "/ws?token=" + pairing);
  socket.binary(true);
  float values[5];
  const auto web = Measure(udp, count, [&](int i) {
    Message(i, values);
    socket.write(asio::buffer(values, 20));
  });
  kill(server, SIGTERM);
  waitpid(server, nullptr, 0);
  recv(udp, chunk, sizeof chunk, MSG_DONTWAIT);  // its neutral datagram

  // The floor: read 20 bytes from TCP, send them as a datagram.
  asio::ip::tcp::acceptor acceptor(io, {asio::ip::make_address("127.0.0.1"), 0});
  const auto floorPort = acceptor.local_endpoint().port();
  std::thread relay([&] {
    asio::ip::tcp::socket in(io);
    acceptor.accept(in);
    in.set_option(asio::ip::tcp::no_delay(true));
    const int out = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(udpPort);
    unsigned char bytes[20];
    for (int i = 0; i < count; ++i) {
      asio::read(in, asio::buffer(bytes));
      sendto(out, bytes, sizeof bytes, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }
    close(out);
  });
  asio::ip::tcp::socket client(io);
  client.connect({asio::ip::make_address("127.0.0.1"), floorPort});
  client.set_option(asio::ip::tcp::no_delay(true));
  const auto floor = Measure(udp, count, [&](int i) {
    Message(i, values);
    asio::write(client, asio::buffer(values, 20));
  });
  relay.join();

  std::printf(
      "== joywire-send --web: a controller message to its datagram, on loopback (%d messages)\n",
      count);
  std::printf("  %-28s p50 %6.1f us   p99 %6.1f us\n", "through joywire-send --web",
              Percentile(web, 0.5), Percentile(web, 0.99));
  std::printf("  %-28s p50 %6.1f us   p99 %6.1f us\n", "floor: bare TCP to UDP relay",
              Percentile(floor, 0.5), Percentile(floor, 0.99));
  std::printf("  joywire-send/floor: p50 %.2f, p99 %.2f   (goal: p99 under 1000 us)\n",
              Percentile(web, 0.5) / Percentile(floor, 0.5),
              Percentile(web, 0.99) / Percentile(floor, 0.99));
  return 0;
}
