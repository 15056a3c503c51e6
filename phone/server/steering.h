#pragma once

// Who steers which player: each phone joins as a player of its own (the lowest free one, or the
// one it had), keeps it across a drop for a while, and is taken over only when another phone
// asks for that player; and each player's neutral position when its phone goes quiet (500 ms
// without a message), leaves, or is refused a message. The sessions use these verbs and nothing
// else of it.
#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

#include <chrono>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "phone/forward/controller_message.h"
#include "phone/forward/forwarder.h"
#include "phone/forward/phone_events.h"

namespace joywire::web {

// A controller repeats its state at least every 200 ms: this much silence means it is gone.
inline constexpr auto kSilence = std::chrono::milliseconds(500);
// A player whose phone dropped off (a reload, Wi-Fi, the screen asleep) is kept for it so long.
inline constexpr auto kPlayerKept = std::chrono::seconds(60);

using SteeringClock = std::chrono::steady_clock;

// A phone's WebSocket, or its HTTPS requests: told when another phone takes its player over.
class PhoneLink {
 public:
  virtual ~PhoneLink() = default;
  virtual void TakenOver(std::string_view by) { static_cast<void>(by); }
  // Requests have no connection whose end says the phone is gone: only their silence does.
  virtual bool LeavesWhenQuiet() const { return false; }
  // The game's rumble for the phone in the player's hand, as the page reads it ("rumble
  // STRONG WEAK HOLD"); a link that cannot tell the page anything leaves it.
  virtual void Rumble(const std::string& said) { static_cast<void>(said); }
};

// What a phone asks for as it joins.
struct JoinRequest {
  std::string_view identity;  // the page's own random id (empty: a client that keeps none)
  int wanted;                 // the player it had before joywire-send restarted, or 0
  int takeOver;               // the player it takes over explicitly, or 0
};

// A player as the choice sees it.
struct PlayerState {
  bool steered;                    // a phone steers it now
  std::string_view identity;       // the phone it belongs to, or empty
  SteeringClock::time_point kept;  // gone: kept for its phone until then
};

// The player (1..count) a phone gets: with one player always that one (the newest phone takes
// over); else the one it takes over, its own (steered or kept), the one it had, or the lowest
// free one. 0 when every player is in use.
int ChoosePlayer(const PlayerState* players, int count, const JoinRequest& request,
                 SteeringClock::time_point now);

class Steering {
 public:
  Steering(boost::asio::io_context& io, Forwarder& forwarder, PhoneEvents& events, int players);

  // The player `link` steers from now on, or 0 when every one is in use; the phone that
  // steered it before is told that `peer` took it over.
  int Join(const std::shared_ptr<PhoneLink>& link, const JoinRequest& request,
           std::string_view peer);
  // A checked message, `datagram` its bytes: one datagram at once to the player's feeder, if
  // `link` steers one; 500 ms of silence after it brings that player's neutral position.
  void Steer(const PhoneLink& link, const ControllerMessage& message,
             std::span<const unsigned char> datagram);
  // `link` is gone, or was refused a message: the phone leaves its player, which is let go
  // now and kept for it for a while.
  void Leave(const PhoneLink& link);
  // Every player let go now (the job stops for a while).
  void LetGo();
  // Whether the phone with `identity` steers its player over a WebSocket, not by `link`'s
  // requests: a request still on its way from before is older than what the WebSocket sends.
  bool SteeredOnAnotherLink(const PhoneLink& link, std::string_view identity) const;
  // The player `link` steers, or 0.
  int PlayerOf(const PhoneLink& link) const;
  // What `player`'s feeder sent back (its game's rumble), to the phone that steers it, if any.
  void Rumble(int player, const std::string& said);
  int Players() const { return static_cast<int>(players_.size()); }

 private:
  struct Player {
    explicit Player(boost::asio::io_context& io) : silence(io) {}
    std::weak_ptr<PhoneLink> link;
    std::string identity;
    SteeringClock::time_point kept;
    boost::asio::steady_timer silence;
    bool quiet = true;  // the neutral position went out last (or nothing yet)
  };
  void Leave(int player);
  void LetGo(int player);

  Forwarder& forwarder_;
  PhoneEvents& events_;
  std::vector<std::unique_ptr<Player>> players_;
};

}  // namespace joywire::web
