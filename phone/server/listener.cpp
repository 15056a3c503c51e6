#include "phone/server/listener.h"

#include <cstdio>

#include "phone/server/http_session.h"

namespace joywire::web {

bool Listener::Open(const char* address, std::uint16_t port, char* error,
                    std::size_t errorCapacity) {
  beast::error_code failure;
  asio::ip::address_v4 bound = asio::ip::address_v4::any();
  if (address != nullptr) {
    bound = asio::ip::make_address_v4(address, failure);
  }
  const tcp::endpoint endpoint(bound, port);
  if (!failure) {
    acceptor_.open(endpoint.protocol(), failure);
  }
#ifndef _WIN32
  // A restart may bind at once; on Windows this option would let two servers share the port.
  if (!failure) {
    acceptor_.set_option(tcp::acceptor::reuse_address(true), failure);
  }
#endif
  if (!failure) {
    acceptor_.bind(endpoint, failure);
  }
  if (!failure) {
    acceptor_.listen(asio::socket_base::max_listen_connections, failure);
  }
  if (failure) {
    std::snprintf(error, errorCapacity, "cannot serve the page on %s:%u: %s",
                  bound.to_string().c_str(), static_cast<unsigned>(port),
                  failure.message().c_str());
    return false;
  }
  Accept();
  return true;
}

void Listener::Close() {
  beast::error_code ignored;
  acceptor_.close(ignored);
}

void Listener::Accept() {
  acceptor_.async_accept([this](beast::error_code error, tcp::socket socket) {
    if (error) {
      if (error != asio::error::operation_aborted) {
        Accept();
      }
      return;
    }
    beast::error_code unknown;
    if (!ConnectionSlot::MakeRoom(state_.connections, service_,
                                  socket.remote_endpoint(unknown).address())) {
      state_.events.Refused(PeerOf(socket), "too many open connections");
      beast::error_code ignored;
      socket.close(ignored);
    } else {
      StartHttpSession(state_, service_, std::move(socket));
    }
    Accept();
  });
}

}  // namespace joywire::web
