// The least any feeder can do per datagram: receive it, write something to a device.
//   floor-receiver ADDRESS PORT OUTPUT_FILE
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: floor-receiver ADDRESS PORT OUTPUT_FILE\n");
    return 2;
  }
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<unsigned short>(std::atoi(argv[2])));
  address.sin_addr.s_addr = inet_addr(argv[1]);
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    std::perror("bind");
    return 1;
  }
  const int out = open(argv[3], O_WRONLY | O_APPEND);
  char buffer[20];
  char record[48] = {};
  for (;;) {
    if (recvfrom(fd, buffer, sizeof buffer, 0, nullptr, nullptr) < 0) {
      return 1;
    }
    if (write(out, record, sizeof record) < 0) {
      return 1;
    }
  }
}
