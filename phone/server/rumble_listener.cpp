#include "phone/server/rumble_listener.h"

#include <cstring>
#include <string>

#include "control/rumble.h"

namespace joywire::web {

namespace asio = boost::asio;

RumbleListener::RumbleListener(asio::io_context& io, const Forwarder& forwarder, Steering& steering)
    : steering_(steering) {
  for (int player = 1; player <= forwarder.Players(); ++player) {
    const UdpSender& sender = forwarder.SenderOf(player);
    const std::uintptr_t handle = DuplicateUdpSender(sender);
    if (handle == ~std::uintptr_t{0}) {
      continue;
    }
    auto feeder = std::make_unique<Feeder>(io);
    boost::system::error_code error;
    feeder->socket.assign(asio::ip::udp::v4(),
                          static_cast<asio::ip::udp::socket::native_handle_type>(handle), error);
    if (error) {
      continue;
    }
    // The socket layer's IPv4 record: family, port and address in network byte order.
    asio::ip::address_v4::bytes_type address{};
    std::memcpy(address.data(), sender.destination + 4, address.size());
    const auto port =
        static_cast<std::uint16_t>(sender.destination[2] << 8 | sender.destination[3]);
    feeder->destination = {asio::ip::address_v4(address), port};
    feeder->player = player;
    Receive(*feeder);
    feeders_.push_back(std::move(feeder));
  }
}

void RumbleListener::Receive(Feeder& feeder) {
  feeder.socket.async_receive_from(
      asio::buffer(feeder.bytes), feeder.from,
      [this, &feeder](boost::system::error_code error, std::size_t size) {
        if (error == asio::error::operation_aborted) {
          return;  // the server ends
        }
        RumbleLevel level{};
        std::uint16_t hold = 0;
        if (!error && feeder.from == feeder.destination &&
            DecodeRumble(feeder.bytes.data(), size, level, hold)) {
          steering_.Rumble(feeder.player, "rumble " + std::to_string(level.strong) + " " +
                                              std::to_string(level.weak) + " " +
                                              std::to_string(hold));
        }
        Receive(feeder);
      });
}

}  // namespace joywire::web
