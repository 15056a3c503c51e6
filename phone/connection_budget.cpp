#include "phone/connection_budget.h"

namespace joywire::web {

std::ptrdiff_t ConnectionToClose(const OpenConnection* open, std::size_t count,
                                 const boost::asio::ip::address& peer) {
  // Those that have not shown the token, by address: how many, and the oldest of each.
  struct FromOneAddress {
    boost::asio::ip::address address;
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
      from = &(addresses[addressCount++] = FromOneAddress{open[i].peer, 0, i});
    }
    if (from != nullptr) {
      ++from->count;
      fromPeer = from->address == peer ? from : fromPeer;
    }
  }
  const FromOneAddress* giveWay = nullptr;
  if (fromPeer != nullptr && fromPeer->count >= kMaxStrangersFromOneAddress) {
    giveWay = fromPeer;
  } else if (strangers >= kMaxStrangers || count >= kMaxConnections) {
    for (std::size_t a = 0; a < addressCount; ++a) {
      giveWay = giveWay == nullptr || addresses[a].count > giveWay->count ? &addresses[a] : giveWay;
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
