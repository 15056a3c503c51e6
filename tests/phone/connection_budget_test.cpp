#include "phone/server/connection_budget.h"

#include <gtest/gtest.h>

#include <vector>

namespace joywire::web {
namespace {

// Open connections as runs from one address (with the token or not), the oldest first; a new
// one from `peer`: taken, refused, or which one closes for it.
TEST(ConnectionToClose, StrangersGiveWayTheFloodingAddressFirstTokenHoldersNever) {
  const auto a = boost::asio::ip::make_address("10.0.0.1");
  const auto b = boost::asio::ip::make_address("10.0.0.2");
  const auto c = boost::asio::ip::make_address("10.0.0.3");
  struct Run {
    boost::asio::ip::address peer;
    std::size_t count;
    bool token;
    bool idle = false;       // HTTP requests, waiting for the next one
    bool webSocket = false;  // a controller's
  };
  const struct {
    std::vector<Run> open;
    boost::asio::ip::address peer;
    std::ptrdiff_t close;
  } cases[] = {
      {{{a, 15, false}}, b, kRoomEnough},
      {{{a, 7, false}}, a, kRoomEnough},
      {{{b, 1, false}, {a, 8, false}}, a, 1},                 // its own oldest, at its share
      {{{c, 1, false}, {a, 7, false}, {b, 8, false}}, c, 8},  // b holds the most
      {{{c, 1, false}, {b, 7, false}, {a, 8, false}}, b, 8},
      {{{a, 16, true}, {b, 48, true}}, c, kNoRoom},  // 64 phones with the token
      {{{a, 63, true}, {c, 1, false}}, b, 63},       // the one stranger among 64
      {{{a, 40, true}, {b, 8, false}, {c, 8, false}}, c, 48},
      // A token holder's kept-alive requests: past a phone's share its own oldest idle one.
      {{{a, 2, true}, {a, 6, true, true}, {b, 1, false}}, a, 2},
      {{{a, 8, true}}, a, 0},
      {{{a, 7, true, true}}, a, kRoomEnough},
      {{{a, 16, true, false, true}, {a, 1, false}}, a, kRoomEnough},  // 16 phones' WebSockets
  };
  for (const auto& one : cases) {
    std::vector<OpenConnection> open;
    for (const Run& run : one.open) {
      open.insert(open.end(), run.count,
                  OpenConnection{run.peer, run.token, false, run.webSocket, run.idle});
    }
    EXPECT_EQ(ConnectionToClose(open.data(), open.size(), one.peer), one.close)
        << open.size() << " open, new from " << one.peer.to_string();
  }
  // Sixteen strangers from sixteen addresses, the oldest a paired phone's handshake: a flood
  // from addresses that never showed the token never makes it give way; another phone may.
  std::vector<OpenConnection> flood;
  for (int i = 0; i < 16; ++i) {
    flood.push_back({boost::asio::ip::make_address_v4(0x0A000100u + i), false, i == 0});
  }
  EXPECT_EQ(ConnectionToClose(flood.data(), flood.size(), c), 1);
  EXPECT_EQ(ConnectionToClose(flood.data(), flood.size(), flood[0].peer, true), 1);
  for (auto& one : flood) {
    one.pairedAddress = true;
  }
  EXPECT_EQ(ConnectionToClose(flood.data(), flood.size(), c), kNoRoom);
  EXPECT_EQ(ConnectionToClose(flood.data(), flood.size(), c, true), 0);
}

}  // namespace
}  // namespace joywire::web
