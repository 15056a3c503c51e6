#include "phone/server/connection_budget.h"

namespace joywire::web {

namespace {

// The oldest of `peer`'s request connections, idle ones first, once it holds its share; or -1.
std::ptrdiff_t OwnRequestConnectionToClose(const OpenConnection* open, std::size_t count,
                                           const boost::asio::ip::address& peer) {
  std::size_t held = 0;
  std::ptrdiff_t oldest = -1;
  std::ptrdiff_t oldestIdle = -1;
  for (std::size_t i = 0; i < count; ++i) {
    if (open[i].webSocket || open[i].peer != peer) {
      continue;
    }
    ++held;
    oldest = oldest < 0 ? static_cast<std::ptrdiff_t>(i) : oldest;
    oldestIdle = oldestIdle < 0 && open[i].idle ? static_cast<std::ptrdiff_t>(i) : oldestIdle;
  }
  if (held < kMaxRequestConnectionsFromOneAddress) {
    return -1;
  }
  return oldestIdle >= 0 ? oldestIdle : oldest;
}

}  // namespace

std::ptrdiff_t ConnectionToClose(const OpenConnection* open, std::size_t count,
                                 const boost::asio::ip::address& peer, bool peerPaired) {
  // Those that have not shown the token, by address: how many, and the oldest of each.
  struct FromOneAddress {
    boost::asio::ip::address address;
    bool paired;
    std::size_t count;
    std::size_t oldest;
  };
  FromOneAddress addresses[kMaxConnections];
  std::size_t addressCount = 0;
  std::size_t strangers = 0;
  const FromOneAddress* fromPeer = nullptr;
  for (std::size_t i = 0; i < count; ++i) {
    if (open[i].showedToken) {
      continue;
    }
    ++strangers;
    FromOneAddress* from = nullptr;
    for (std::size_t a = 0; a < addressCount && from == nullptr; ++a) {
      from = addresses[a].address == open[i].peer ? &addresses[a] : nullptr;
    }
    if (from == nullptr && addressCount < kMaxConnections) {
      from =
          &(addresses[addressCount++] = FromOneAddress{open[i].peer, open[i].pairedAddress, 0, i});
    }
    if (from != nullptr) {
      ++from->count;
      fromPeer = from->address == peer ? from : fromPeer;
    }
  }
  const FromOneAddress* giveWay = nullptr;
  if (fromPeer != nullptr && fromPeer->count >= kMaxStrangersFromOneAddress) {
    giveWay = fromPeer;
  } else if (const std::ptrdiff_t own = OwnRequestConnectionToClose(open, count, peer); own >= 0) {
    return own;
  } else if (strangers >= kMaxStrangers || count >= kMaxConnections) {
    // An address that never showed the token gives way first; a paired one only to another.
    const auto most = [&](bool paired) {
      for (std::size_t a = 0; a < addressCount; ++a) {
        if (addresses[a].paired == paired &&
            (giveWay == nullptr || addresses[a].count > giveWay->count)) {
          giveWay = &addresses[a];
        }
      }
    };
    most(false);
    if (giveWay == nullptr && peerPaired) {
      most(true);
    }
    if (giveWay == nullptr) {
      return kNoRoom;
    }
  } else {
    return kRoomEnough;
  }
  return static_cast<std::ptrdiff_t>(giveWay->oldest);
}

}  // namespace joywire::web
