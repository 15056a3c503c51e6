#pragma once

// The names of Boost.Asio and Boost.Beast the server's files share, and the two kinds of stream
// a connection is: plain, or TLS.
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/ssl/ssl_stream.hpp>

#include <string>

namespace joywire::web {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace ssl = asio::ssl;
using tcp = asio::ip::tcp;
using PlainStream = beast::tcp_stream;
using TlsStream = beast::ssl_stream<beast::tcp_stream>;

// "10.0.0.7:5123", or "?" for a socket already closed.
inline std::string PeerOf(const tcp::socket& socket) {
  beast::error_code error;
  const tcp::endpoint peer = socket.remote_endpoint(error);
  if (error) {
    return "?";
  }
  return peer.address().to_string() + ":" + std::to_string(peer.port());
}

}  // namespace joywire::web
