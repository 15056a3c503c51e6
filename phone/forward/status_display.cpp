#include "phone/forward/status_display.h"

#include <cstdio>

#include "phone/forward/player_status.h"
#include "phone/players.h"
#include "platform/firewall_hint.h"
#include "platform/terminal.h"

namespace joywire {

namespace {

// A page not asked for by then hints at a firewall in the way.
constexpr auto kFirewallHintAfter = std::chrono::seconds(30);

}  // namespace

StatusDisplay::StatusDisplay(Forwarder& forwarder, const SenderOptions& options,
                             std::string pairing, std::vector<std::string> addresses,
                             std::vector<FeederProcess>& feeders,
                             std::function<std::string()> served)
    : forwarder_(forwarder),
      options_(options),
      pairing_(std::move(pairing)),
      served_(std::move(served)),
      addresses_(std::move(addresses)),
      feeders_(feeders, options.port),
      live_(StandardOutputIsTerminal()),
      output_(live_),
      players_(static_cast<std::size_t>(forwarder.Players()), Player{{}, {}, 0, 0.0, -1}) {
  for (std::size_t i = 0; i < players_.size(); ++i) {
    PlayerHost(options, static_cast<int>(i) + 1, players_[i].host);
  }
}

void StatusDisplay::Listening() {
  const std::string note = served_();
  if (!note.empty()) {
    output_.Line(note);
  }
  output_.Text(pairing_);
  ShowStatus();
}

void StatusDisplay::Suspended() {
  Log("joywire-send: stopped (Ctrl-Z); sent the neutral position; `fg` goes on");
}

void StatusDisplay::Connected(int player, std::string_view peer) {
  Player& of = players_[player - 1];
  of.peer = peer;
  of.roundTrip = -1;
  of.path = "stream";
  Log(Named(player, "controller") + " connected from " + of.peer);
}

void StatusDisplay::Disconnected(int player, std::string_view peer, std::string_view why) {
  std::string& steering = players_[player - 1].peer;
  const std::string who = peer.empty() ? steering : std::string(peer);
  if (peer.empty() || peer == steering) {
    steering.clear();
  }
  Log(Named(player, "controller") + " " + who + " disconnected (" + std::string(why) + ")");
}

void StatusDisplay::Path(int player, std::string_view path) {
  Player& of = players_[player - 1];
  const std::string who = Named(player, "controller") + " " + of.peer;
  if (path == "unopened") {
    char hint[400] = "";
    const bool blocked = FirewallHint(options_.webPort, options_.datagramPorts, hint, sizeof hint);
    Log(who + ": no data channel within 5 s, its messages stay on the stream" +
        (blocked ? std::string("; ") + hint : std::string()));
    return;
  }
  of.path = path == "datagrams" ? "datagrams" : "stream";
  of.roundTrip = -1;  // measured anew over this path
  if (path == "idle") {
    Log(who + " idle: on the stream until it moves (its data channel closed meanwhile)");
    return;
  }
  Log(who + " now on " +
      (path == "datagrams" ? "datagrams (its data channel)" : "the stream (its WebSocket)"));
}

void StatusDisplay::RoundTrip(int player, int milliseconds) {
  players_[player - 1].roundTrip = milliseconds;
}

// A stranger can make these as fast as the network carries them: the first is told at once,
// the rest summed up, one line a second at most.
void StatusDisplay::Refused(std::string_view peer, std::string_view why) {
  lastRefusal_ = std::string(peer) + ": " + std::string(why);
  ++refusedUntold_;
  SumUp(Clock::now());
}

void StatusDisplay::Tick() {
  const auto now = Clock::now();
  const bool loopbackOnly = addresses_.empty() || addresses_.front().rfind("127.", 0) == 0;
  if (!pageServed_ && !hinted_ && !loopbackOnly && now - started_ >= kFirewallHintAfter) {
    hinted_ = true;
    char hint[400];
    if (FirewallHint(options_.webPort, options_.webDatagrams ? options_.datagramPorts : nullptr,
                     hint, sizeof hint)) {
      Log(std::string("no phone has opened the page yet: ") + hint);
    }
  }
  const double seconds = std::chrono::duration<double>(now - windowStart_).count();
  if (seconds >= 1.0) {
    for (std::size_t i = 0; i < players_.size(); ++i) {
      const long long messages = forwarder_.Of(static_cast<int>(i) + 1).messages;
      players_[i].rate = static_cast<double>(messages - players_[i].counted) / seconds;
      players_[i].counted = messages;
    }
    windowStart_ = now;
  }
  SumUp(now);
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < players_.size(); ++i) {
    feeders_.Look(static_cast<int>(i) + 1, players_[i].host, lines);
  }
  for (const std::string& line : lines) {
    Log(line);
  }
  ShowStatus();
}

// Every player's device was left neutral: the feeders beside take it, then end too.
void StatusDisplay::Stopped() {
  feeders_.StopAll();
  SumUp(Clock::now(), true);
  output_.Status("");
  output_.Line("joywire-send: stopped; sent the neutral position");
}

// "controller", or with several players "player 2".
std::string StatusDisplay::Named(int player, const char* one) const {
  return players_.size() == 1 ? one : "player " + std::to_string(player);
}

// The refusals and failed sends not told yet, once a second has passed since the last line.
void StatusDisplay::SumUp(Clock::time_point now, bool atLast) {
  if (!atLast && now - lastSummary_ < std::chrono::seconds(1)) {
    return;
  }
  if (refusedUntold_ > 0) {
    Log(refusedUntold_ == 1 ? lastRefusal_
                            : "refused " + std::to_string(refusedUntold_) +
                                  " requests or connections; the last: " + lastRefusal_);
    refusedUntold_ = 0;
    lastSummary_ = now;
  }
  for (std::size_t i = 0; i < players_.size(); ++i) {
    if (const long long failed = forwarder_.TakeFailures(static_cast<int>(i) + 1); failed > 0) {
      Log("sending to " + std::string(players_[i].host) + ":" + std::to_string(options_.port) +
          " failed" + (failed > 1 ? " (" + std::to_string(failed) + " times)" : ""));
      lastSummary_ = now;
    }
  }
}

void StatusDisplay::Log(const std::string& line) {
  output_.Line(line);
  ShowStatus();
}

// One line, or with several players one line a player, as the terminal's size lets them.
void StatusDisplay::ShowStatus() {
  if (!live_) {
    return;
  }
  PlayerLine lines[kMaxPlayers];
  for (std::size_t i = 0; i < players_.size(); ++i) {
    lines[i] = PlayerLine{StatusOf(static_cast<int>(i) + 1), !players_[i].peer.empty()};
  }
  output_.Status(FitPlayerLines(lines, players_.size(), TerminalColumns(), TerminalRows()));
}

std::string StatusDisplay::StatusOf(int number) const {
  const Player& player = players_[number - 1];
  const std::string name = players_.size() == 1 ? "" : Named(number, "") + "  ";
  if (player.peer.empty()) {
    return name + (players_.size() == 1 ? "waiting for a controller" : "waiting for a phone");
  }
  const ControllerMessage& last = forwarder_.Of(number).last;
  char values[160];
  char roundTrip[24] = "";
  if (player.roundTrip >= 0) {
    std::snprintf(roundTrip, sizeof roundTrip, "  rtt %d ms", player.roundTrip);
  }
  std::snprintf(
      values, sizeof values, "  %s  %3.0f/s%s  X %+.2f  Y %+.2f  Z %+.2f  B1 %.0f  B2 %.0f",
      std::string(player.path).c_str(), player.rate, roundTrip, static_cast<double>(last.values[0]),
      static_cast<double>(last.values[1]), static_cast<double>(last.values[2]),
      static_cast<double>(last.values[3]), static_cast<double>(last.values[4]));
  char tail[40] = "";
  if (last.longRecord) {  // a layout with more controls: its buttons and hat
    std::snprintf(tail, sizeof tail, "  buttons %08X  hat %u",
                  static_cast<unsigned>(last.tail.buttons), unsigned{last.tail.hat});
  }
  return name + player.peer + values + tail;
}

}  // namespace joywire
