#pragma once

// A listener: binds an address and port, and accepts each connection while the budget has room
// for it (making room where a stranger's may give way), handing it to its HTTP session.
#include <cstddef>
#include <cstdint>

#include "phone/server/net.h"
#include "phone/server/route.h"
#include "phone/server/shared_state.h"

namespace joywire::web {

class Listener {
 public:
  Listener(asio::io_context& io, SharedState& state, Service service)
      : acceptor_(io), state_(state), service_(service) {}

  // Binds `address` (dotted IPv4, or null for every address) and `port`, and accepts from now
  // on. False, with the reason in `error`, when it cannot.
  bool Open(const char* address, std::uint16_t port, char* error, std::size_t errorCapacity);
  void Close();

 private:
  void Accept();

  tcp::acceptor acceptor_;
  SharedState& state_;
  Service service_;
};

}  // namespace joywire::web
