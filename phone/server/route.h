#pragma once

// Where a request goes, decided from the request alone: this server's names and token, and
// which listener it came in on. No socket, no state: the sessions carry out what it says.
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/status.hpp>
#include <boost/beast/http/string_body.hpp>

#include <string>
#include <string_view>

#include "phone/server/server_settings.h"
#include "phone/server/steering.h"

namespace joywire::web {

using Request = boost::beast::http::request<boost::beast::http::string_body>;
using Status = boost::beast::http::status;

// What a listener offers: the controller (page, WebSocket, requests), or in the HTTPS mode's
// plain-HTTP port only the authority's certificate and how to trust it.
enum class Service { kController, kTrust };

// The names the request must use and the token it must show.
struct ServerNames {
  boost::asio::ip::tcp::endpoint local;  // the address and port the connection came in on
  bool tls;
  std::string_view networkName;  // the machine's .local name, or empty
  std::string_view token;
};

struct Route {
  enum Kind {
    kAnswer,   // `status`, `body`, `type`
    kPage,     // the page itself: an answer, and a phone has found the server
    kUpgrade,  // the controller's WebSocket
    kInput,    // a controller's message in the request's body
  };
  Kind kind;
  Status status;
  std::string_view body;
  const char* type;
  bool showedToken;     // the connection showed the token: strangers cannot make it give way
  bool close;           // no more requests on this connection
  std::string refusal;  // what to log of a refused request, or empty
};

// The route of one request, from `settings` (the page, its files, the authority).
Route RouteOf(const Request& request, Service service, const ServerNames& names,
              const WebServerSettings& settings);

// Whether a request shows the token and names this server, by its Host and its Origin: null,
// or why not.
const char* RefusalOf(const Request& request, const ServerNames& names);

// What a controller's WebSocket (or request) asks for as it joins, from its target's query:
// id (the page's own id, 8 to 64 URL-safe characters), want and take (a player, 1 to 16).
// What is malformed counts as not asked.
JoinRequest JoinRequestOf(std::string_view target);

}  // namespace joywire::web
