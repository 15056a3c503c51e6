#pragma once

// The connection budget of a listener, decided from the open connections alone: whether a new
// one may be taken, and which one that has not shown the token gives way to it.
#include <boost/asio/ip/address.hpp>

#include <cstddef>

namespace joywire::web {

// Open connections of each listener: of those that have not shown the pairing token, in all and
// from one address, and of all. The oldest that has not shown the token makes room for a new
// connection when one is reached; the token's holders are never made to.
inline constexpr std::size_t kMaxStrangers = 16;
inline constexpr std::size_t kMaxStrangersFromOneAddress = 8;
inline constexpr std::size_t kMaxConnections = 64;

struct OpenConnection {
  boost::asio::ip::address peer;
  bool showedToken;
};

inline constexpr std::ptrdiff_t kRoomEnough = -1;  // taken as it is
inline constexpr std::ptrdiff_t kNoRoom = -2;      // refused: every one showed the token

// For a new connection from `peer`, with `open` (the oldest first): kRoomEnough, kNoRoom, or the
// index of the connection to close. From the new one's address, once it holds its share;
// otherwise from the address that holds the most, so that a flood from a few addresses cannot
// push out a phone's one connection that is still in its handshake.
std::ptrdiff_t ConnectionToClose(const OpenConnection* open, std::size_t count,
                                 const boost::asio::ip::address& peer);

}  // namespace joywire::web
