#pragma once

// The connection budget of a listener, decided from the open connections alone: whether a new
// one may be taken, and which one gives way to it.
#include <boost/asio/ip/address.hpp>

#include <cstddef>

namespace joywire::web {

// Open connections of each listener: of those that have not shown the pairing token, in all and
// from one address, and of all. The oldest that has not shown the token makes room for a new
// connection when one is reached; the token's holders are never made to. Apart from those, no
// address holds more request connections than a phone needs (its page, its requests), whatever
// they have shown: past that, its own oldest idle one gives way.
inline constexpr std::size_t kMaxStrangers = 16;
inline constexpr std::size_t kMaxStrangersFromOneAddress = 8;
inline constexpr std::size_t kMaxRequestConnectionsFromOneAddress = 8;
inline constexpr std::size_t kMaxConnections = 64;

struct OpenConnection {
  boost::asio::ip::address peer;
  bool showedToken;
  bool pairedAddress = false;  // its address has shown the token (a phone that was paired)
  bool webSocket = false;      // a controller's WebSocket; otherwise HTTP requests
  bool idle = false;           // HTTP requests: waiting for the next one
};

inline constexpr std::ptrdiff_t kRoomEnough = -1;  // taken as it is
inline constexpr std::ptrdiff_t kNoRoom = -2;      // refused: none may give way to it

// For a new connection from `peer` (`peerPaired`: its address has shown the token), with `open`
// (the oldest first): kRoomEnough, kNoRoom, or the index of the connection to close. From the
// new one's address, once it holds its share; otherwise, of the strangers, from the address that
// holds the most, so that a flood from a few addresses cannot push out a phone's one connection
// that is still in its handshake; and never from a paired address for one that is not, so that
// a flood from many addresses cannot either.
std::ptrdiff_t ConnectionToClose(const OpenConnection* open, std::size_t count,
                                 const boost::asio::ip::address& peer, bool peerPaired = false);

}  // namespace joywire::web
