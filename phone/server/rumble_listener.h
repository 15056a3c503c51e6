#pragma once

// What each player's feeder sends back on the socket its datagrams go out on: the game's rumble
// (control/rumble.h), passed to the phone that steers that player. Only a rumble datagram from
// the player's own feeder's address and port is taken.
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>

#include <array>
#include <memory>
#include <vector>

#include "phone/forward/forwarder.h"
#include "phone/server/steering.h"

namespace joywire::web {

class RumbleListener {
 public:
  RumbleListener(boost::asio::io_context& io, const Forwarder& forwarder, Steering& steering);

 private:
  struct Feeder {
    explicit Feeder(boost::asio::io_context& io) : socket(io) {}
    boost::asio::ip::udp::socket socket;
    boost::asio::ip::udp::endpoint from;
    boost::asio::ip::udp::endpoint destination;
    std::array<unsigned char, 64> bytes{};
    int player = 0;
  };
  void Receive(Feeder& feeder);

  Steering& steering_;
  std::vector<std::unique_ptr<Feeder>> feeders_;
};

}  // namespace joywire::web
