#pragma once

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "phone/controller_message.h"
#include "phone/pairing.h"
#include "phone/player_status.h"
#include "phone/web_server.h"
#include "platform/detached_output.h"
#include "platform/feeder_process.h"
#include "platform/firewall_hint.h"
#include "platform/terminal.h"
#include "platform/udp_sender.h"
#include "tools/send/sender_options.h"

namespace joywire {

// Forwards the controller's messages and keeps the person at the terminal informed: on a
// terminal one status line kept up to date in place, elsewhere one line per event. What is
// printed goes out on a thread of its own: forwarding never waits for the output.
class WebForwarder : public WebEvents {
  using Clock = std::chrono::steady_clock;
  // A page not asked for by then hints at a firewall in the way.
  static constexpr auto kFirewallHintAfter = std::chrono::seconds(30);

 public:
  // `senders`: one per player, to its feeder; `feeders`, those run beside (or empty).
  WebForwarder(const std::vector<UdpSender>& senders, const SenderOptions& options,
               const char* token, std::vector<std::string> addresses,
               std::vector<FeederProcess>& feeders, std::function<std::string()> served)
      : served_(std::move(served)),
        feeders_(feeders),
        options_(options),
        token_(token),
        addresses_(std::move(addresses)),
        live_(StandardOutputIsTerminal()),
        output_(live_) {
    for (std::size_t i = 0; i < senders.size(); ++i) {
      players_.push_back(Player{&senders[i], {}, kFirstState, {}, 0, 0.0, -1, 0, {}, {}});
      PlayerHost(options, static_cast<int>(i) + 1, players_.back().host);
    }
  }

  void Listening() override {
    const std::string note = served_();
    if (!note.empty()) {
      output_.Line(note);
    }
    const Serving serving = ServingOf(options_);
    output_.Text(PairingText(options_, serving, addresses_, token_, live_));
    ShowStatus();
  }

  void PageServed() override { pageServed_ = true; }

  void Forward(int player, const ControllerMessage& message) override {
    Player& to = players_[player - 1];
    to.last = message;
    ++to.messagesInWindow;
    Send(to, message);
  }

  void Neutral(int player) override {
    Player& to = players_[player - 1];
    ControllerMessage neutral = NeutralOf(to.last);
    if (options_.throttleRest != kThrottleStays && !neutral.longRecord) {
      neutral.values[2] = options_.throttleRest;  // a robot stops, rather than keep driving
    }
    to.last = neutral;
    Send(to, neutral);
  }

  void RoundTrip(int player, int milliseconds) override {
    players_[player - 1].roundTrip = milliseconds;
  }

  void Suspended() override {
    Log("joywire-send: stopped (Ctrl-Z); sent the neutral position; `fg` goes on");
  }

  void Connected(int player, std::string_view peer) override {
    Player& of = players_[player - 1];
    of.peer = peer;
    of.roundTrip = -1;
    Log(Named(player, "controller") + " connected from " + of.peer);
  }

  // `peer` empty: the phone that steers `player` now (one that sends requests went quiet).
  void Disconnected(int player, std::string_view peer, std::string_view why) override {
    std::string& steering = players_[player - 1].peer;
    const std::string who = peer.empty() ? steering : std::string(peer);
    if (peer.empty() || peer == steering) {
      steering.clear();
    }
    Log(Named(player, "controller") + " " + who + " disconnected (" + std::string(why) + ")");
  }

  // A stranger can make these as fast as the network carries them: the first is told at once,
  // the rest summed up, one line a second at most.
  void Refused(std::string_view peer, std::string_view why) override {
    lastRefusal_ = std::string(peer) + ": " + std::string(why);
    ++refusedUntold_;
    SumUp(Clock::now());
  }

  void Tick() override {
    const auto now = Clock::now();
    const bool loopbackOnly = addresses_.empty() || addresses_.front().rfind("127.", 0) == 0;
    if (!pageServed_ && !hinted_ && !loopbackOnly && now - started_ >= kFirewallHintAfter) {
      hinted_ = true;
      char hint[320];
      if (FirewallHint(options_.webPort, hint, sizeof hint)) {
        Log(std::string("no phone has opened the page yet: ") + hint);
      }
    }
    const double seconds = std::chrono::duration<double>(now - windowStart_).count();
    if (seconds >= 1.0) {
      for (Player& player : players_) {
        player.rate = static_cast<double>(player.messagesInWindow) / seconds;
        player.messagesInWindow = 0;
      }
      windowStart_ = now;
    }
    SumUp(now);
    for (std::size_t i = 0; i < feeders_.size(); ++i) {
      WatchFeeder(i);
    }
    ShowStatus();
  }

  std::string Trouble(int player) const override { return players_[player - 1].trouble; }

  // A signal, or the console's end: every player's device is left neutral.
  void Stopped() override {
    for (std::size_t player = 1; player <= players_.size(); ++player) {
      Neutral(static_cast<int>(player));
    }
    const bool running =
        std::any_of(feeders_.begin(), feeders_.end(),
                    [](const FeederProcess& feeder) { return feeder.process >= 0; });
    if (running) {  // a moment to take the neutral position, then they end too
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      for (FeederProcess& feeder : feeders_) {
        if (feeder.process >= 0) {
          StopFeeder(feeder);
        }
      }
    }
    SumUp(Clock::now(), true);
    output_.Status("");
    output_.Line("joywire-send: stopped; sent the neutral position");
  }

  // A feeder started beside: what it said (a feeder that cannot listen says so, and waits), and
  // whether it ended; told at once, here and to its player's phone.
  void WatchFeeder(std::size_t i) {
    FeederProcess& feeder = feeders_[i];
    Player& player = players_[i];
    char said[512];
    for (std::size_t got = 0; (got = ReadFeederOutput(feeder, said, sizeof said)) > 0;) {
      player.feederSaid.append(said, got);
      if (player.feederSaid.size() > 2 * sizeof said) {
        player.feederSaid.erase(0, player.feederSaid.size() - sizeof said);
      }
    }
    const std::size_t failed = player.feederSaid.find("Binding Failed");
    if (failed != std::string::npos && player.trouble.empty()) {
      const std::string line = player.feederSaid.substr(
          failed, player.feederSaid.find_first_of("\r\n", failed) - failed);
      player.trouble = "its feeder cannot listen on " + std::string(player.host) + ":" +
                       std::to_string(options_.port) + " (" + line +
                       "): another program may hold that port";
      Log("the feeder of device " + std::to_string(i + 1) +
          player.trouble.substr(std::string_view("its feeder").size()));
    }
    int status = 0;
    if (feeder.process >= 0 && FeederEnded(feeder, status)) {
      player.trouble = "its feeder ended (exit status " + std::to_string(status) + ")";
      Log("the feeder of device " + std::to_string(i + 1) + " ended by itself (exit status " +
          std::to_string(status) + "): nothing moves it now; run it alone to see why");
      StopFeeder(feeder);
    }
  }

  // A line of its own for the person at the terminal.
  void Note(const std::string& line) { Log(line); }

  // What is still to be printed, for a moment; the output may be held up for good.
  void Finish() { output_.Finish(std::chrono::seconds(1)); }

 private:
  // What the terminal shows of a player, and where its datagrams go.
  struct Player {
    const UdpSender* sender;
    char host[256];
    ControllerMessage last;
    std::string peer;  // its phone, or empty
    long long messagesInWindow;
    double rate;
    int roundTrip;  // ms, as its phone measured it, or -1
    long long sendFailuresUntold;
    std::string feederSaid;  // the last of what its feeder started beside wrote
    std::string trouble;     // what keeps its device from moving, for its phone
  };
  static constexpr ControllerMessage kFirstState{{0.0f, 0.0f, -1.0f, 0.0f, 0.0f}, false, {}};

  // "controller", or with several players "player 2".
  std::string Named(int player, const char* one) const {
    return players_.size() == 1 ? one : "player " + std::to_string(player);
  }

  void Send(Player& to, const ControllerMessage& message) {
    unsigned char datagram[kLongRecordSize];
    if (!SendDatagram(*to.sender, datagram, DatagramOfMessage(message, datagram))) {
      ++to.sendFailuresUntold;
      SumUp(Clock::now());
    }
  }

  // The refusals and failed sends not told yet, once a second has passed since the last line.
  void SumUp(Clock::time_point now, bool atLast = false) {
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
    for (Player& player : players_) {
      if (player.sendFailuresUntold > 0) {
        Log("sending to " + std::string(player.host) + ":" + std::to_string(options_.port) +
            " failed" +
            (player.sendFailuresUntold > 1
                 ? " (" + std::to_string(player.sendFailuresUntold) + " times)"
                 : ""));
        player.sendFailuresUntold = 0;
        lastSummary_ = now;
      }
    }
  }

  void Log(const std::string& line) {
    output_.Line(line);
    ShowStatus();
  }

  // One line, or with several players one line a player, as the terminal's size lets them.
  void ShowStatus() {
    if (!live_) {
      return;
    }
    PlayerLine lines[kMaxPlayers];
    for (std::size_t i = 0; i < players_.size(); ++i) {
      lines[i] = PlayerLine{StatusOf(static_cast<int>(i) + 1), !players_[i].peer.empty()};
    }
    output_.Status(FitPlayerLines(lines, players_.size(), TerminalColumns(), TerminalRows()));
  }

  std::string StatusOf(int number) const {
    const Player& player = players_[number - 1];
    const std::string name = players_.size() == 1 ? "" : Named(number, "") + "  ";
    if (player.peer.empty()) {
      return name + (players_.size() == 1 ? "waiting for a controller" : "waiting for a phone");
    }
    const ControllerMessage& last = player.last;
    char values[160];
    char roundTrip[24] = "";
    if (player.roundTrip >= 0) {
      std::snprintf(roundTrip, sizeof roundTrip, "  rtt %d ms", player.roundTrip);
    }
    std::snprintf(values, sizeof values, "  %3.0f/s%s  X %+.2f  Y %+.2f  Z %+.2f  B1 %.0f  B2 %.0f",
                  player.rate, roundTrip, static_cast<double>(last.values[0]),
                  static_cast<double>(last.values[1]), static_cast<double>(last.values[2]),
                  static_cast<double>(last.values[3]), static_cast<double>(last.values[4]));
    char tail[40] = "";
    if (last.longRecord) {  // a layout with more controls: its buttons and hat
      std::snprintf(tail, sizeof tail, "  buttons %08X  hat %u",
                    static_cast<unsigned>(last.tail.buttons), unsigned{last.tail.hat});
    }
    return name + player.peer + values + tail;
  }

  std::function<std::string()> served_;  // keeps the pairing; what to tell of it
  std::vector<FeederProcess>& feeders_;
  const SenderOptions& options_;
  const char* token_;
  std::vector<std::string> addresses_;  // the page's, the network's first and loopback last
  bool live_;
  DetachedOutput output_;
  std::vector<Player> players_;
  Clock::time_point windowStart_ = Clock::now();
  const Clock::time_point started_ = Clock::now();
  bool pageServed_ = false;
  bool hinted_ = false;
  std::string lastRefusal_;
  long long refusedUntold_ = 0;
  Clock::time_point lastSummary_ = Clock::now() - std::chrono::seconds(1);
};

}  // namespace joywire
