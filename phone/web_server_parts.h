#pragma once

// The web server's pieces shared by its translation units: the server's state, the limits, the
// controller that steers at the moment, and how a session starts. The sessions themselves, for
// plain and for TLS connections, are compiled side by side (web_session_plain.cpp and
// web_session_tls.cpp).
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/ssl/ssl_stream.hpp>

#include <chrono>
#include <functional>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "phone/connection_budget.h"
#include "phone/route.h"
#include "phone/steering.h"
#include "phone/web_server.h"

namespace joywire::web {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace ssl = asio::ssl;
using tcp = asio::ip::tcp;
using PlainStream = beast::tcp_stream;
using TlsStream = beast::ssl_stream<beast::tcp_stream>;

// Limits a hostile client on the network cannot get past.
inline constexpr auto kRequestTime = std::chrono::seconds(5);    // a first request, or a handshake
inline constexpr auto kKeepAliveTime = std::chrono::seconds(1);  // a connection's next request
inline constexpr std::size_t kHeaderLimit = 4096;
inline constexpr std::size_t kBodyLimit = 64;
inline constexpr std::size_t kMessageLimit = kControllerMessageLimit;
inline constexpr auto kIdleControllerTime = std::chrono::seconds(20);  // pinged, then dropped
inline constexpr auto kTickInterval = std::chrono::milliseconds(250);
inline constexpr unsigned short kTakenOver = 4000;
inline constexpr unsigned short kAllInUse = 4001;
// A phone's round trip is measured from the acknowledgement of its message, one a second.
inline constexpr auto kAckInterval = std::chrono::seconds(1);

inline constexpr char kContentSecurityPolicy[] =
    "default-src 'none'; script-src 'self'; style-src 'self'; "
    "connect-src 'self'; img-src 'self' data:; manifest-src 'self'; base-uri 'none'; "
    "form-action 'none'; frame-ancestors 'none'";

class Controller;
class ConnectionSlot;
class RequestController;

struct Server {
  Server(const WebServerSettings& settings, WebEvents& events)
      : settings(settings),
        events(events),
        signals(io),
        jobStops(io),
        tick(io),
        steering(io, events, settings.players) {}

  const WebServerSettings& settings;
  WebEvents& events;
  // Before the io_context: the sessions that its handlers still hold leave these as they go.
  std::list<ConnectionSlot*> connections[2];  // of each Service's listener, the oldest first
  asio::io_context io;
  std::optional<ssl::context> tls;
  TlsIdentity identity;                 // what the context hands out now
  std::vector<std::string> unnameable;  // addresses no certificate of ours may name
  std::vector<std::unique_ptr<tcp::acceptor>> acceptors;
  asio::signal_set signals;   // to end
  asio::signal_set jobStops;  // to stop for a while (Ctrl-Z)
  asio::steady_timer tick;
  Steering steering;
  // The controllers that send by HTTPS requests, one per phone (by its page's id).
  std::vector<std::shared_ptr<RequestController>> requests;
  // The addresses that showed the token, the latest last: phones that were paired, which a
  // flood from addresses that never did cannot push out.
  std::vector<asio::ip::address> paired;
  bool stopping = false;

  void RememberPaired(const asio::ip::address& address);
  bool WasPaired(const asio::ip::address& address) const;
};

// One open connection of a listener, counted against its limits while it lives.
class ConnectionSlot {
 public:
  // `close` ends the connection at once, when the slot makes room for a newer one. A
  // `webSocket` slot is a controller's, which has shown the token.
  ConnectionSlot(Server& server, Service service, const tcp::socket& socket, bool webSocket,
                 std::function<void()> close);
  ~ConnectionSlot();
  ConnectionSlot(const ConnectionSlot&) = delete;
  ConnectionSlot& operator=(const ConnectionSlot&) = delete;

  // The connection showed the pairing token: nobody without it can make it give way.
  void ShowedToken();
  // It was taken over, or is closing: it counts as a stranger's again, and may give way.
  void LostToken() { showedToken_ = false; }
  // An HTTP connection waits for its next request (true), or is busy with one.
  void Idle(bool idle) { idle_ = idle; }

  // Whether a new connection from `peer` may be taken on `service`'s listener, after closing
  // the oldest one that has not shown the token where that makes room.
  static bool MakeRoom(Server& server, Service service, const asio::ip::address& peer);

 private:
  Server& server_;
  std::list<ConnectionSlot*>& connections_;
  std::list<ConnectionSlot*>::iterator entry_;
  asio::ip::address peer_;
  bool showedToken_;
  bool webSocket_;
  bool idle_ = false;
  bool closed_ = false;
  std::function<void()> close_;
};

// A controller of the server's: its verbs go to the server's Steering.
class Controller : public Steerer, public std::enable_shared_from_this<Controller> {
 public:
  explicit Controller(Server& server) : server_(server) {}

  // The player this one steers from now on, or 0 when every one is in use.
  int Join(const JoinRequest& request, std::string_view peer) {
    return server_.steering.Join(shared_from_this(), request, peer);
  }
  // A checked message: forwarded at once as one datagram while this one steers a player.
  void Forward(const ControllerMessage& message) { server_.steering.Steer(*this, message); }
  int Player() const { return server_.steering.PlayerOf(*this); }
  // Gone, or refused a message: the neutral position, if this one still steered.
  void Released() { server_.steering.Leave(*this); }

 protected:
  Server& server_;
};

// A phone that sends by HTTPS requests where a WebSocket cannot connect (iOS with a certificate
// it does not trust fully): no connection to close, only silence, after which its player is
// kept for it as for a phone that dropped off.
class RequestController : public Controller {
 public:
  RequestController(Server& server, std::string_view identity)
      : Controller(server), identity(identity) {}
  bool LeavesWhenQuiet() const override { return true; }
  void TakenOver(std::string_view by) override { takenOverBy = by; }

  const std::string identity;
  std::string takenOverBy;  // who took its player over, until it asks for one again
};

// The request controller of the phone with `identity`, made on its first request.
std::shared_ptr<RequestController> RequestControllerOf(Server& server, std::string_view identity);

// What the close of a taken-over phone, or of one that finds every player in use, says.
std::string TakenOverReason(const Server& server, int player, std::string_view by);
std::string AllInUseReason(const Server& server);
// The address of a peer ("10.0.0.7:5123" gives "10.0.0.7"): who took a player over.
std::string_view AddressOfPeer(std::string_view peer);

std::string PeerOf(const tcp::socket& socket);

// A connection's HTTP session, plain or over TLS, from its first byte.
void StartPlainSession(Server& server, Service service, tcp::socket&& socket);
void StartTlsSession(Server& server, Service service, tcp::socket&& socket);

// The controller's WebSocket, from the upgrade request an HTTP session read.
void StartControllerSession(Server& server, PlainStream&& stream, std::string peer,
                            const Request& upgrade);
void StartControllerSession(Server& server, TlsStream&& stream, std::string peer,
                            const Request& upgrade);

}  // namespace joywire::web
