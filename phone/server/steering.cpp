#include "phone/server/steering.h"

#include "phone/players.h"

namespace joywire::web {

namespace {

bool Free(const PlayerState& player, SteeringClock::time_point now) {
  return !player.steered && (player.identity.empty() || now >= player.kept);
}

}  // namespace

int ChoosePlayer(const PlayerState* players, int count, const JoinRequest& request,
                 SteeringClock::time_point now) {
  if (count == 1) {
    return 1;
  }
  if (request.takeOver >= 1 && request.takeOver <= count) {
    return request.takeOver;
  }
  for (int i = 0; i < count && !request.identity.empty(); ++i) {
    if (players[i].identity == request.identity && (players[i].steered || now < players[i].kept)) {
      return i + 1;
    }
  }
  if (request.wanted >= 1 && request.wanted <= count && Free(players[request.wanted - 1], now)) {
    return request.wanted;
  }
  for (int i = 0; i < count; ++i) {
    if (Free(players[i], now)) {
      return i + 1;
    }
  }
  return 0;
}

Steering::Steering(boost::asio::io_context& io, Forwarder& forwarder, PhoneEvents& events,
                   int players)
    : forwarder_(forwarder), events_(events) {
  for (int i = 0; i < players; ++i) {
    players_.push_back(std::make_unique<Player>(io));
  }
}

int Steering::Join(const std::shared_ptr<PhoneLink>& link, const JoinRequest& request,
                   std::string_view peer) {
  PlayerState states[kMaxPlayers];
  const int count = Players();
  for (int i = 0; i < count; ++i) {
    states[i] = PlayerState{!players_[i]->link.expired(), players_[i]->identity, players_[i]->kept};
  }
  const int chosen = ChoosePlayer(states, count, request, SteeringClock::now());
  if (chosen == 0) {
    return 0;
  }
  Player& player = *players_[chosen - 1];
  const std::shared_ptr<PhoneLink> previous = player.link.lock();
  // The same page on its other link (its WebSocket after requests, or back) is the same phone:
  // it goes on, and nobody was taken over. (Another tab with the page is told, as any phone.)
  const bool samePhone = !request.identity.empty() && player.identity == request.identity &&
                         previous && previous->LeavesWhenQuiet() != link->LeavesWhenQuiet();
  player.identity = request.identity;
  if (previous == link) {
    return chosen;
  }
  player.link = link;
  if (previous && !samePhone) {
    previous->TakenOver(peer);
  }
  return chosen;
}

bool Steering::SteeredOnAnotherLink(const PhoneLink& link, std::string_view identity) const {
  for (const auto& player : players_) {
    const std::shared_ptr<PhoneLink> now = player->link.lock();
    if (now && now.get() != &link && !now->LeavesWhenQuiet() && !identity.empty() &&
        player->identity == identity) {
      return true;
    }
  }
  return false;
}

int Steering::PlayerOf(const PhoneLink& link) const {
  for (std::size_t i = 0; i < players_.size(); ++i) {
    if (players_[i]->link.lock().get() == &link) {
      return static_cast<int>(i) + 1;
    }
  }
  return 0;
}

void Steering::Rumble(int player, const std::string& said) {
  if (player >= 1 && player <= Players()) {
    if (const std::shared_ptr<PhoneLink> link = players_[player - 1]->link.lock()) {
      link->Rumble(said);
    }
  }
}

void Steering::Steer(const PhoneLink& link, const ControllerMessage& message,
                     std::span<const unsigned char> datagram) {
  const int number = PlayerOf(link);
  if (number == 0) {
    return;
  }
  Player& player = *players_[number - 1];
  forwarder_.Forward(number, message, datagram);
  player.quiet = false;
  player.silence.expires_after(kSilence);
  player.silence.async_wait([this, number](boost::system::error_code error) {
    Player& quiet = *players_[number - 1];
    if (error || quiet.quiet) {
      return;
    }
    const std::shared_ptr<PhoneLink> link = quiet.link.lock();
    const bool left = link && link->LeavesWhenQuiet();
    if (left) {
      Leave(number);
    }
    LetGo(number);
    if (left) {
      events_.Disconnected(number, {}, "no request for 500 ms");
    }
  });
}

void Steering::Leave(const PhoneLink& link) {
  if (const int number = PlayerOf(link)) {
    Leave(number);
    LetGo(number);
  }
}

// The player is kept for the phone that left it, for a while.
void Steering::Leave(int number) {
  Player& player = *players_[number - 1];
  player.link.reset();
  player.kept = SteeringClock::now() + kPlayerKept;
}

void Steering::LetGo() {
  for (int number = 1; number <= Players(); ++number) {
    LetGo(number);
  }
}

void Steering::LetGo(int number) {
  Player& player = *players_[number - 1];
  player.silence.cancel();
  if (!player.quiet) {
    player.quiet = true;
    forwarder_.Neutral(number);
  }
}

}  // namespace joywire::web
