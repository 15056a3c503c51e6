#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "phone/controller_message.h"
#include "phone/detached_output.h"
#include "phone/pairing.h"
#include "phone/web_server.h"
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
  WebForwarder(const UdpSender& sender, const SenderOptions& options, const char* token,
               std::vector<std::string> addresses, FeederProcess* feeder,
               std::function<std::string()> served)
      : served_(std::move(served)),
        feeder_(feeder),
        sender_(sender),
        options_(options),
        token_(token),
        addresses_(std::move(addresses)),
        live_(StandardOutputIsTerminal()),
        output_(live_) {}

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

  void Forward(const ControllerMessage& message) override {
    last_ = message;
    ++messagesInWindow_;
    Send(message);
  }

  void Neutral() override {
    ControllerMessage neutral = NeutralOf(last_);
    if (options_.throttleRest != kThrottleStays && !neutral.longRecord) {
      neutral.values[2] = options_.throttleRest;  // a robot stops, rather than keep driving
    }
    last_ = neutral;
    Send(neutral);
  }

  void Suspended() override {
    Log("joywire-send: stopped (Ctrl-Z); sent the neutral position; `fg` goes on");
  }

  void Connected(std::string_view peer) override {
    peer_ = peer;
    Log("controller connected from " + peer_);
  }

  void Disconnected(std::string_view peer, std::string_view why) override {
    if (peer == peer_) {
      peer_.clear();
    }
    Log("controller " + std::string(peer) + " disconnected (" + std::string(why) + ")");
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
      rate_ = static_cast<double>(messagesInWindow_) / seconds;
      messagesInWindow_ = 0;
      windowStart_ = now;
    }
    SumUp(now);
    int status = 0;
    if (feeder_ != nullptr && FeederEnded(*feeder_, status)) {
      Log("the feeder ended by itself (exit status " + std::to_string(status) +
          "): nothing moves the joystick now; run it alone to see why");
      StopFeeder(*feeder_);
      feeder_ = nullptr;
    }
    ShowStatus();
  }

  // A signal, or the console's end: the joystick is left neutral.
  void Stopped() override {
    Neutral();
    if (feeder_ != nullptr) {  // a moment to take the neutral position, then it ends too
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      StopFeeder(*feeder_);
    }
    SumUp(Clock::now(), true);
    output_.Status("");
    output_.Line("joywire-send: stopped; sent the neutral position");
  }

  // A line of its own for the person at the terminal.
  void Note(const std::string& line) { Log(line); }

  // What is still to be printed, for a moment; the output may be held up for good.
  void Finish() { output_.Finish(std::chrono::seconds(1)); }

 private:
  void Send(const ControllerMessage& message) {
    unsigned char datagram[kLongRecordSize];
    if (!SendDatagram(sender_, datagram, DatagramOfMessage(message, datagram))) {
      ++sendFailuresUntold_;
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
    if (sendFailuresUntold_ > 0) {
      Log("sending to " + std::string(options_.host) + ":" + std::to_string(options_.port) +
          " failed" +
          (sendFailuresUntold_ > 1 ? " (" + std::to_string(sendFailuresUntold_) + " times)" : ""));
      sendFailuresUntold_ = 0;
      lastSummary_ = now;
    }
  }

  void Log(const std::string& line) {
    output_.Line(line);
    ShowStatus();
  }

  void ShowStatus() {
    if (!live_) {
      return;
    }
    if (peer_.empty()) {
      output_.Status("waiting for a controller");
      return;
    }
    char values[96];
    std::snprintf(values, sizeof values, "  %3.0f/s  X %+.2f  Y %+.2f  Z %+.2f  B1 %.0f  B2 %.0f",
                  rate_, static_cast<double>(last_.values[0]), static_cast<double>(last_.values[1]),
                  static_cast<double>(last_.values[2]), static_cast<double>(last_.values[3]),
                  static_cast<double>(last_.values[4]));
    char tail[40] = "";
    if (last_.longRecord) {  // a layout with more controls: its buttons and hat
      std::snprintf(tail, sizeof tail, "  buttons %08X  hat %u",
                    static_cast<unsigned>(last_.tail.buttons), unsigned{last_.tail.hat});
    }
    output_.Status(peer_ + values + tail);
  }

  std::function<std::string()> served_;  // keeps the pairing; what to tell of it
  FeederProcess* feeder_;
  const UdpSender& sender_;
  const SenderOptions& options_;
  const char* token_;
  std::vector<std::string> addresses_;  // the page's, the network's first and loopback last
  bool live_;
  DetachedOutput output_;
  ControllerMessage last_{{0.0f, 0.0f, -1.0f, 0.0f, 0.0f}, false, {}};  // the throttle down
  std::string peer_;
  long long messagesInWindow_ = 0;
  double rate_ = 0.0;
  Clock::time_point windowStart_ = Clock::now();
  const Clock::time_point started_ = Clock::now();
  bool pageServed_ = false;
  bool hinted_ = false;
  std::string lastRefusal_;
  long long refusedUntold_ = 0;
  long long sendFailuresUntold_ = 0;
  Clock::time_point lastSummary_ = Clock::now() - std::chrono::seconds(1);
};

}  // namespace joywire
