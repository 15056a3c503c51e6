#pragma once

// What the phone server serves, and where: fixed for a run.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "phone/channel/data_channel.h"
#include "phone/controller_page.h"
#include "phone/pairing/https_identity.h"

namespace joywire {

struct WebServerSettings {
  const char* address;  // dotted IPv4 to serve on, or null for every address
  std::uint16_t port;   // the page, its WebSocket and its requests
  int players;          // 1 to 16: each phone its own player, or with 1 the newest steers
  std::string_view token;
  std::string_view page;  // the controller page, served at "/"
  const PageFile* files;  // its style sheets, modules, manifest and icons
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
  // Data channels beside the WebSockets, on these UDP ports; or phones steer over their
  // WebSocket alone.
  bool datagrams;
  web::ChannelPorts channelPorts;
};

}  // namespace joywire
