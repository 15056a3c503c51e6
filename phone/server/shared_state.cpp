#include "phone/server/shared_state.h"

#include "phone/players.h"

namespace joywire::web {

int SharedState::Join(const std::shared_ptr<PhoneLink>& link, const JoinRequest& request,
                      const std::string& peer) {
  const int player = steering.Join(link, request, peer);
  if (player == 0) {
    events.Refused(peer, AllInUseReason());
  } else {
    events.Connected(player, peer);
  }
  return player;
}

Reply SharedState::Receive(PhoneLink& link, int player, std::span<const unsigned char> bytes,
                           bool binary, Acknowledging& acks, bool canTell) {
  int roundTrip = 0;
  if (!binary && ReadRoundTripReport(bytes.data(), bytes.size(), roundTrip)) {
    if (roundTrip >= 0) {
      events.RoundTrip(player, roundTrip);
    }
    return {};
  }
  ControllerMessage message;
  const MessageVerdict verdict =
      CheckControllerMessage(bytes.data(), bytes.size(), binary, message);
  if (verdict != MessageVerdict::kForward) {
    return Refuse(link, verdict);
  }
  return Forward(link, player, message, bytes, acks, canTell);
}

Reply SharedState::ReceiveOnChannel(PhoneLink& link, int player,
                                    std::span<const unsigned char> bytes, bool binary,
                                    SequenceGate& gate, Acknowledging& acks) {
  std::uint32_t sequence = 0;
  std::span<const unsigned char> record;
  ControllerMessage message;
  const MessageVerdict verdict =
      !binary ? MessageVerdict::kNotBinary
      : !SplitSequenced(bytes, sequence, record)
          ? MessageVerdict::kWrongSize
          : CheckControllerMessage(record.data(), record.size(), true, message);
  if (verdict != MessageVerdict::kForward) {
    return Refuse(link, verdict);
  }
  if (!gate.Admit(sequence)) {
    return {};  // overtaken by a newer one already forwarded
  }
  Reply reply = Forward(link, player, message, record, acks, true);
  if (reply.tell.starts_with("ack ")) {
    // By its number: what was lost on the way is not counted, and the page times this one.
    reply.tell = "ack " + std::to_string(sequence);
  }
  return reply;
}

bool SharedState::TakeChannel() {
  if (channels_ >= kMaxChannels) {
    return false;
  }
  ++channels_;
  return true;
}

Reply SharedState::Refuse(PhoneLink& link, MessageVerdict verdict) {
  steering.Leave(link);  // nothing more from it steers, and the joystick is let go at once
  const CloseFor close = CloseForVerdict(verdict);
  return Reply{close.code, close.reason, {}};
}

Reply SharedState::Forward(PhoneLink& link, int player, const ControllerMessage& message,
                           std::span<const unsigned char> record, Acknowledging& acks,
                           bool canTell) {
  steering.Steer(link, message, record);
  ++acks.messages;
  const auto now = std::chrono::steady_clock::now();
  if (now - acks.last < kAckInterval || steering.PlayerOf(link) == 0) {
    return {};
  }
  acks.last = now;
  if (!canTell) {
    return {};  // one is on its way: this acknowledgement can wait
  }
  if (std::string trouble = events.Trouble(player); trouble != acks.toldTrouble) {
    acks.toldTrouble = trouble;  // its device does not move: the phone says why
    return Reply{0, nullptr, "trouble " + trouble};
  }
  return Reply{0, nullptr, "ack " + std::to_string(acks.messages)};
}

InputAnswer SharedState::Input(const Request& request, const std::string& peer) {
  ControllerMessage message;
  const std::string& body = request.body();
  const auto* bytes = reinterpret_cast<const unsigned char*>(body.data());
  const MessageVerdict verdict = CheckControllerMessage(bytes, body.size(), true, message);
  const JoinRequest join = JoinRequestOf(request.target());
  const std::shared_ptr<RequestLink> link = RequestLinkOf(join.identity);
  if (verdict != MessageVerdict::kForward) {
    steering.Leave(*link);  // as a refused WebSocket message: let go at once
    events.Refused(peer, std::string("request refused (400): ") + CloseForVerdict(verdict).reason);
    return {Status::bad_request, "bad message\n", 0};
  }
  if (steering.SteeredOnAnotherLink(*link, join.identity)) {
    // The same page on its WebSocket now: a request still on its way is older than that.
    return {Status::no_content, "", 0};
  }
  int player = steering.PlayerOf(*link);
  if (player == 0) {
    // Taken over by another phone: it asks for its player again, explicitly.
    if (!link->takenOverBy.empty() && join.takeOver == 0) {
      return {Status::conflict, TakenOverReason(join.wanted, AddressOfPeer(link->takenOverBy)), 0};
    }
    link->takenOverBy.clear();
    player = steering.Join(link, join, peer);
    if (player == 0) {
      events.Refused(peer, AllInUseReason());
      return {Status::conflict, AllInUseReason(), 0};
    }
    events.Connected(player, peer + " (HTTPS requests)");
  }
  steering.Steer(*link, message, {bytes, body.size()});
  return {Status::no_content, "", player};
}

std::shared_ptr<RequestLink> SharedState::RequestLinkOf(std::string_view identity) {
  for (const auto& link : requests_) {
    if (link->identity == identity) {
      return link;
    }
  }
  // Those that steer no player any more are forgotten before there are more than the players.
  if (requests_.size() >= 2 * kMaxPlayers) {
    std::erase_if(requests_, [this](const auto& link) { return steering.PlayerOf(*link) == 0; });
  }
  return requests_.emplace_back(std::make_shared<RequestLink>(identity));
}

std::string SharedState::TakenOverReason(int player, std::string_view by) const {
  if (steering.Players() == 1) {
    return "taken over by another controller";
  }
  return "player " + std::to_string(player) + " taken over by " + std::string(by);
}

std::string SharedState::AllInUseReason() const {
  return "all " + std::to_string(steering.Players()) + " players are in use";
}

std::string_view AddressOfPeer(std::string_view peer) {
  return peer.substr(0, peer.rfind(':'));
}

}  // namespace joywire::web
