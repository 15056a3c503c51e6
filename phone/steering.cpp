#include "phone/steering.h"

namespace joywire::web {

namespace {

bool Free(const Seat& seat, SteeringClock::time_point now) {
  return !seat.steered && (seat.identity.empty() || now >= seat.kept);
}

}  // namespace

int ChoosePlayer(const Seat* seats, int count, const JoinRequest& request,
                 SteeringClock::time_point now) {
  if (count == 1) {
    return 1;
  }
  if (request.takeOver >= 1 && request.takeOver <= count) {
    return request.takeOver;
  }
  for (int i = 0; i < count && !request.identity.empty(); ++i) {
    if (seats[i].identity == request.identity && (seats[i].steered || now < seats[i].kept)) {
      return i + 1;
    }
  }
  if (request.wanted >= 1 && request.wanted <= count && Free(seats[request.wanted - 1], now)) {
    return request.wanted;
  }
  for (int i = 0; i < count; ++i) {
    if (Free(seats[i], now)) {
      return i + 1;
    }
  }
  return 0;
}

Steering::Steering(boost::asio::io_context& io, WebEvents& events, int players) : events_(events) {
  for (int i = 0; i < players; ++i) {
    players_.push_back(std::make_unique<Player>(io));
  }
}

int Steering::Join(const std::shared_ptr<Steerer>& steerer, const JoinRequest& request,
                   std::string_view peer) {
  Seat seats[kMaxPlayers];
  const int count = Players();
  for (int i = 0; i < count; ++i) {
    seats[i] = Seat{!players_[i]->steerer.expired(), players_[i]->identity, players_[i]->kept};
  }
  const int chosen = ChoosePlayer(seats, count, request, SteeringClock::now());
  if (chosen == 0) {
    return 0;
  }
  Player& player = *players_[chosen - 1];
  const std::shared_ptr<Steerer> previous = player.steerer.lock();
  // The same page on its other link (its WebSocket after requests, or back) is the same phone:
  // it goes on, and nobody was taken over. (Another tab with the page is told, as any phone.)
  const bool samePhone = !request.identity.empty() && player.identity == request.identity &&
                         previous && previous->LeavesWhenQuiet() != steerer->LeavesWhenQuiet();
  player.identity = request.identity;
  if (previous == steerer) {
    return chosen;
  }
  player.steerer = steerer;
  if (previous && !samePhone) {
    previous->TakenOver(peer);
  }
  return chosen;
}

bool Steering::SteeredOnAnotherLink(const Steerer& steerer, std::string_view identity) const {
  for (const auto& player : players_) {
    const std::shared_ptr<Steerer> now = player->steerer.lock();
    if (now && now.get() != &steerer && !now->LeavesWhenQuiet() && !identity.empty() &&
        player->identity == identity) {
      return true;
    }
  }
  return false;
}

int Steering::PlayerOf(const Steerer& steerer) const {
  for (std::size_t i = 0; i < players_.size(); ++i) {
    if (players_[i]->steerer.lock().get() == &steerer) {
      return static_cast<int>(i) + 1;
    }
  }
  return 0;
}

void Steering::Steer(const Steerer& steerer, const ControllerMessage& message) {
  const int number = PlayerOf(steerer);
  if (number == 0) {
    return;
  }
  Player& player = *players_[number - 1];
  events_.Forward(number, message);
  player.quiet = false;
  player.silence.expires_after(kSilence);
  player.silence.async_wait([this, number](boost::system::error_code error) {
    Player& quiet = *players_[number - 1];
    if (error || quiet.quiet) {
      return;
    }
    const std::shared_ptr<Steerer> steerer = quiet.steerer.lock();
    const bool left = steerer && steerer->LeavesWhenQuiet();
    if (left) {
      Release(number);
    }
    LetGo(number);
    if (left) {
      events_.Disconnected(number, {}, "no request for 500 ms");
    }
  });
}

void Steering::Leave(const Steerer& steerer) {
  if (const int number = PlayerOf(steerer)) {
    Release(number);
    LetGo(number);
  }
}

void Steering::Release(int number) {
  Player& player = *players_[number - 1];
  player.steerer.reset();
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
    events_.Neutral(number);
  }
}

}  // namespace joywire::web
