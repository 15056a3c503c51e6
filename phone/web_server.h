#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "phone/controller_message.h"
#include "phone/controller_page.h"

namespace joywire {

// What the server hands on: each checked controller message, the neutral position when the
// controller goes quiet or away, and what a person watching should know. Players are numbered
// from 1; with one player, every phone steers player 1.
class WebEvents {
 public:
  virtual ~WebEvents() = default;
  // Every address the page is served on is bound; the server runs from now on.
  virtual void Listening() = 0;
  // The page itself was asked for (so the network lets phones in).
  virtual void PageServed() = 0;
  virtual void Forward(int player, const ControllerMessage& message) = 0;
  virtual void Neutral(int player) = 0;
  // The process is about to stop for a while (Ctrl-Z), the neutral position sent.
  virtual void Suspended() = 0;
  virtual void Connected(int player, std::string_view peer) = 0;
  // `peer` empty: the phone that steered it, which sent requests and went quiet.
  virtual void Disconnected(int player, std::string_view peer, std::string_view why) = 0;
  // The round trip a player's phone measured (the median of its last few seconds).
  virtual void RoundTrip(int player, int milliseconds) = 0;
  // A request or a connection the server turned away, with the reason.
  virtual void Refused(std::string_view peer, std::string_view why) = 0;
  // A few times a second, for a display that changes with time.
  virtual void Tick() = 0;
  // The server stops (a signal, or the console's end): the last thing it hands on.
  virtual void Stopped() = 0;
  // What keeps a player's device from moving that its phone should be told of (a feeder
  // started beside that cannot listen), or empty.
  virtual std::string Trouble(int player) const {
    static_cast<void>(player);
    return {};
  }
};

// The HTTPS mode's certificate: the server certificate and the authority's, and the server's
// private key, all PEM; and the addresses the certificate names.
struct TlsIdentity {
  std::string certificateChain;
  std::string privateKey;
  std::vector<std::string> addresses;
};

struct WebServerSettings {
  const char* address;  // dotted IPv4 to serve on, or null for every address
  std::uint16_t port;   // the page, its WebSocket and its requests
  int players;          // 1 to 16: each phone its own player, or with 1 the newest steers
  std::string_view token;
  std::string_view page;  // the controller page, served at "/"
  const PageFile* files;  // its manifest and icons
  std::size_t fileCount;
  // HTTPS: the page over TLS (1.2 at least) on `port`, and on `trustPort`, in plain HTTP, only
  // the authority's certificate (/ca.crt, DER) and the page that says how to trust it.
  const TlsIdentity* tls;
  // A TLS connection came in on an address the certificate does not name (a network that came
  // up after the start): a certificate that names it too, or false where none can (a public
  // address).
  std::function<bool(const std::string& address, TlsIdentity& identity)> nameAddress;
  std::uint16_t trustPort;
  std::string_view trustPage;
  std::string_view authorityCertificate;
  // The machine's .local name, a name of this server on every address besides its addresses
  // and localhost (empty: none).
  std::string_view networkName;
};

// Serves the page and the controller's WebSocket (at /ws?token=...) until a signal to stop
// (SIGINT, SIGTERM, SIGHUP, SIGQUIT; on Windows Ctrl-C, Ctrl-Break and the console's end).
// False, with the reason in `error`, when the address and port cannot be served.
bool ServeController(const WebServerSettings& settings, WebEvents& events, char* error,
                     std::size_t errorCapacity);

}  // namespace joywire
