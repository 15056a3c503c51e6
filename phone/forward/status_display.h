#pragma once

// What the person at joywire-send's terminal sees of the phones: on a terminal a status line a
// player, kept up to date in place; elsewhere one line per event. Printed on a thread of its
// own (DetachedOutput): forwarding never waits for the output.
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "phone/forward/feeder_watch.h"
#include "phone/forward/forwarder.h"
#include "phone/forward/phone_events.h"
#include "platform/detached_output.h"
#include "tools/send/sender_options.h"

namespace joywire {

class StatusDisplay : public PhoneEvents {
  using Clock = std::chrono::steady_clock;

 public:
  // `pairing`: the lines that pair a phone, shown once listening; `served`: keeps the pairing,
  // and says what to tell of it; `addresses`: the page's, the network's first.
  StatusDisplay(Forwarder& forwarder, const SenderOptions& options, std::string pairing,
                std::vector<std::string> addresses, std::vector<FeederProcess>& feeders,
                std::function<std::string()> served);

  void Listening() override;
  void PageServed() override { pageServed_ = true; }
  void Suspended() override;
  void Connected(int player, std::string_view peer) override;
  void Disconnected(int player, std::string_view peer, std::string_view why) override;
  void Path(int player, std::string_view path) override;
  void RoundTrip(int player, int milliseconds) override;
  void Refused(std::string_view peer, std::string_view why) override;
  void Tick() override;
  void Stopped() override;
  std::string Trouble(int player) const override { return feeders_.Trouble(player); }

  // A line of its own for the person at the terminal.
  void Note(const std::string& line) { Log(line); }
  // What is still to be printed, for a moment; the output may be held up for good.
  void Finish() { output_.Finish(std::chrono::seconds(1)); }

 private:
  struct Player {
    char host[256];     // where its datagrams go
    std::string peer;   // its phone, or empty
    long long counted;  // of its messages, those counted in a rate already
    double rate;
    int roundTrip;                     // ms, as its phone measured it, or -1
    std::string_view path = "stream";  // how its messages come
  };

  std::string Named(int player, const char* one) const;
  void SumUp(Clock::time_point now, bool atLast = false);
  void Log(const std::string& line);
  void ShowStatus();
  std::string StatusOf(int number) const;

  Forwarder& forwarder_;
  const SenderOptions& options_;
  std::string pairing_;
  std::function<std::string()> served_;
  std::vector<std::string> addresses_;  // the page's, the network's first and loopback last
  FeederWatch feeders_;
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
