// The host's socket layer as the run uses it, over loopback only.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

#include "feeder/platform.h"
#include "platform/udp_sender.h"

#ifdef _WIN32
#include <winsock2.h>
using NativeLength = int;
#else
#include <sys/socket.h>
using NativeLength = socklen_t;
#endif

namespace joywire {
namespace {

#ifdef _WIN32
constexpr int kInvalidArgument = 10022;  // WSAEINVAL
#else
constexpr int kInvalidArgument = 22;  // EINVAL
#endif

class HostSockets : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallHostServices(platform_);
    ASSERT_EQ(platform_.WSAStartup(kWinsockVersion22), 0);
  }
  void TearDown() override { EXPECT_NE(platform_.WSACleanup(), kSocketError); }

  SocketAddressV4 Address(const char* text, std::uint16_t port) const {
    SocketAddressV4 address{};
    address.family = kAddressFamilyIPv4;
    address.address = platform_.inet_addr(text);
    address.port = platform_.htons(port);
    return address;
  }

  // Binds a socket to a loopback port the system picks (so it cannot collide); returns it.
  std::uint16_t BindLoopback(SocketHandle& handle) {
    if (handle == kInvalidSocket) {
      handle = platform_.socket(kAddressFamilyIPv4, kSocketTypeDatagram, kProtocolUdp);
    }
    EXPECT_NE(handle, kInvalidSocket);
    const SocketAddressV4 any = Address("127.0.0.1", 0);
    EXPECT_EQ(platform_.bind(handle, &any, sizeof any), 0);
    sockaddr_storage bound{};  // an IPv4 address record: the port, big-endian, at offset 2
    NativeLength length = sizeof bound;
    getsockname(static_cast<decltype(::socket(0, 0, 0))>(handle),
                reinterpret_cast<sockaddr*>(&bound), &length);
    const auto* bytes = reinterpret_cast<const unsigned char*>(&bound);
    return static_cast<std::uint16_t>(bytes[2] << 8 | bytes[3]);
  }

  Platform platform_{};
};

TEST_F(HostSockets, ConversionsGiveNetworkByteOrder) {
  const std::uint32_t loopback = platform_.inet_addr("127.0.0.1");
  const auto* bytes = reinterpret_cast<const unsigned char*>(&loopback);
  EXPECT_EQ(bytes[0], 127);
  EXPECT_EQ(bytes[3], 1);
  const std::uint16_t port = platform_.htons(50000);
  const auto* portBytes = reinterpret_cast<const unsigned char*>(&port);
  EXPECT_EQ(portBytes[0], 0xC3);
  EXPECT_EQ(portBytes[1], 0x50);
}

TEST_F(HostSockets, DatagramsOfEverySizeArriveAsTheirFirstBytes) {
  SocketHandle listener = kInvalidSocket;
  const std::uint16_t port = BindLoopback(listener);
  ASSERT_NE(port, 0);

  UdpSender sender{};
  char error[128];
  ASSERT_TRUE(OpenUdpSender("127.0.0.1", port, sender, error, sizeof error)) << error;
  unsigned char big[1500];
  for (std::size_t i = 0; i < sizeof big; ++i) {
    big[i] = static_cast<unsigned char>(i * 7);
  }
  ASSERT_TRUE(SendDatagram(sender, big, sizeof big));
  ASSERT_TRUE(SendDatagram(sender, big, 20));
  ASSERT_TRUE(SendDatagram(sender, big, 5));
  ASSERT_TRUE(SendDatagram(sender, big, 0));
  ASSERT_TRUE(SendDatagram(sender, big + 1, 21));

  char buffer[20];
  // Longer than the buffer: cut to it, and a received datagram all the same.
  EXPECT_EQ(platform_.recvfrom(listener, buffer, sizeof buffer, 0), 20);
  EXPECT_EQ(std::memcmp(buffer, big, 20), 0);
  EXPECT_EQ(platform_.recvfrom(listener, buffer, sizeof buffer, 0), 20);
  EXPECT_EQ(platform_.recvfrom(listener, buffer, sizeof buffer, 0), 5);
  EXPECT_EQ(platform_.recvfrom(listener, buffer, sizeof buffer, 0), 0);
  // The cut datagram's tail did not leak into the next receive.
  EXPECT_EQ(platform_.recvfrom(listener, buffer, sizeof buffer, 0), 20);
  EXPECT_EQ(std::memcmp(buffer, big + 1, 20), 0);

  CloseUdpSender(sender);
  EXPECT_EQ(platform_.closesocket(listener), 0);
}

TEST_F(HostSockets, ReceiveOnASocketWhoseBindFailedFailsAtOnce) {
  // The port is taken by a socket of our own, so the second bind fails on every socket layer.
  SocketHandle holder = kInvalidSocket;
  const std::uint16_t port = BindLoopback(holder);
  ASSERT_NE(port, 0);
  const SocketHandle handle =
      platform_.socket(kAddressFamilyIPv4, kSocketTypeDatagram, kProtocolUdp);
  ASSERT_NE(handle, kInvalidSocket);
  const SocketAddressV4 taken = Address("127.0.0.1", port);
  EXPECT_EQ(platform_.bind(handle, &taken, sizeof taken), kSocketError);
  EXPECT_NE(platform_.WSAGetLastError(), 0);

  char buffer[20];
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(platform_.recvfrom(handle, buffer, sizeof buffer, 0), kSocketError);
  EXPECT_EQ(platform_.WSAGetLastError(), kInvalidArgument);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));

  // Bound after all: the same socket now receives.
  SocketHandle same = handle;
  const std::uint16_t port2 = BindLoopback(same);
  UdpSender sender{};
  char error[128];
  ASSERT_TRUE(OpenUdpSender("127.0.0.1", port2, sender, error, sizeof error)) << error;
  ASSERT_TRUE(SendDatagram(sender, "0123456789abcdefghij", 20));
  EXPECT_EQ(platform_.recvfrom(handle, buffer, sizeof buffer, 0), 20);
  CloseUdpSender(sender);
  EXPECT_EQ(platform_.closesocket(handle), 0);
  EXPECT_EQ(platform_.closesocket(holder), 0);
}

TEST_F(HostSockets, ReceiveOnNoSocketFailsAtOnce) {
  char buffer[20];
  EXPECT_EQ(platform_.recvfrom(kInvalidSocket, buffer, sizeof buffer, 0), kSocketError);
  EXPECT_NE(platform_.WSAGetLastError(), 0);
  EXPECT_EQ(platform_.closesocket(kInvalidSocket), kSocketError);
  EXPECT_NE(platform_.WSAGetLastError(), 0);
}

}  // namespace
}  // namespace joywire
