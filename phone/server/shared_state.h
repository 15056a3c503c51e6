#pragma once

// What the server's sessions share, and the one place each hands what a phone sent: its
// joining, each message (WebSocket) or request (HTTPS requests), and its leaving. The sessions
// only move bytes; here a message is checked and steers its player.
#include <boost/asio/io_context.hpp>

#include <chrono>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "phone/channel/channel_message.h"
#include "phone/forward/controller_message.h"
#include "phone/forward/forwarder.h"
#include "phone/forward/phone_events.h"
#include "phone/players.h"
#include "phone/server/connection_slot.h"
#include "phone/server/route.h"
#include "phone/server/server_settings.h"
#include "phone/server/steering.h"
#include "phone/server/tls_context.h"

namespace joywire::web {

// Limits a hostile client on the network cannot get past.
inline constexpr auto kRequestTime = std::chrono::seconds(5);    // a first request, or a handshake
inline constexpr auto kKeepAliveTime = std::chrono::seconds(1);  // a connection's next request
inline constexpr std::size_t kHeaderLimit = 4096;
inline constexpr std::size_t kBodyLimit = 64;
inline constexpr std::size_t kMessageLimit = kControllerMessageLimit;
inline constexpr auto kIdleControllerTime = std::chrono::seconds(20);  // pinged, then dropped
// WebSocket close codes of joywire's own.
inline constexpr unsigned short kTakenOver = 4000;
inline constexpr unsigned short kAllInUse = 4001;
// Peer connections for data channels: one a phone, this many in all, each open within the
// time or dropped (the page goes on over its WebSocket after 3 s).
inline constexpr int kMaxChannels = 2 * kMaxPlayers;
inline constexpr auto kChannelOpenTime = std::chrono::seconds(5);
// A phone's round trip is measured from the acknowledgement of its message, one a second.
inline constexpr auto kAckInterval = std::chrono::seconds(1);

// A phone that sends by HTTPS requests where a WebSocket cannot connect (iOS with a certificate
// it does not trust fully): no connection to close, only silence, after which its player is
// kept for it as for a phone that dropped off.
class RequestLink : public PhoneLink {
 public:
  explicit RequestLink(std::string_view identity) : identity(identity) {}
  bool LeavesWhenQuiet() const override { return true; }
  void TakenOver(std::string_view by) override { takenOverBy = by; }

  const std::string identity;
  std::string takenOverBy;  // who took its player over, until it asks for one again
};

// A WebSocket's acknowledgements: the page measures its round trip from them.
struct Acknowledging {
  long long messages = 0;  // read so far
  std::chrono::steady_clock::time_point last{};
  std::string toldTrouble;  // what the page was last told keeps its device from moving
};

// What a WebSocket session does after a message: close with `closeCode` and `closeReason`
// (refused), or tell the page `tell` (when not empty), or read on.
struct Reply {
  unsigned short closeCode = 0;
  const char* closeReason = nullptr;
  std::string tell;
};

// The answer to a controller's HTTPS request; `player` the one it steers, or 0.
struct InputAnswer {
  Status status;
  std::string body;
  int player;
};

class SharedState {
 public:
  // `connections` outlives the io_context: the sessions its handlers still hold as it goes
  // leave the book as they go.
  SharedState(const WebServerSettings& settings, asio::io_context& io, Forwarder& forwarder,
              PhoneEvents& events, ConnectionBook& connections)
      : settings(settings),
        io(io),
        events(events),
        steering(io, forwarder, events, settings.players),
        connections(connections) {}

  const WebServerSettings& settings;
  asio::io_context& io;
  PhoneEvents& events;
  Steering steering;
  ConnectionBook& connections;
  TlsContext* tls = nullptr;  // HTTPS: what every TLS connection is made with

  // A phone's WebSocket joins from `peer`: the player it steers, or 0 with every one in use
  // (refused, and told).
  int Join(const std::shared_ptr<PhoneLink>& link, const JoinRequest& request,
           const std::string& peer);
  // One message of a WebSocket that steers `player`: checked, then forwarded at once as one
  // datagram; or a round trip it reports.
  Reply Receive(PhoneLink& link, int player, std::span<const unsigned char> bytes, bool binary,
                Acknowledging& acks, bool canTell);
  // One message of `player`'s data channel: its sequence number, then as Receive's; one older
  // than the newest forwarded is dropped. Acknowledged by its number ("ack SEQUENCE").
  Reply ReceiveOnChannel(PhoneLink& link, int player, std::span<const unsigned char> bytes,
                         bool binary, SequenceGate& gate, Acknowledging& acks);
  // A place for a phone's peer connection: false when there are kMaxChannels.
  bool TakeChannel();
  void ReturnChannel() { --channels_; }
  // A message sent as an HTTPS request, its token shown: the same checks, the same way on.
  InputAnswer Input(const Request& request, const std::string& peer);
  // `link` is gone: its player let go, and kept for it.
  void Leave(const PhoneLink& link) { steering.Leave(link); }

  // What the close of a taken-over phone, or of one that finds every player in use, says.
  std::string TakenOverReason(int player, std::string_view by) const;
  std::string AllInUseReason() const;

 private:
  std::shared_ptr<RequestLink> RequestLinkOf(std::string_view identity);
  // Forwards a checked message, and what the page is told after it, if anything.
  Reply Forward(PhoneLink& link, int player, const ControllerMessage& message,
                std::span<const unsigned char> record, Acknowledging& acks, bool canTell);
  Reply Refuse(PhoneLink& link, MessageVerdict verdict);

  // The links that send by HTTPS requests, one per phone (by its page's id).
  std::vector<std::shared_ptr<RequestLink>> requests_;
  int channels_ = 0;
};

// The address of a peer ("10.0.0.7:5123" gives "10.0.0.7"): who took a player over.
std::string_view AddressOfPeer(std::string_view peer);

}  // namespace joywire::web
