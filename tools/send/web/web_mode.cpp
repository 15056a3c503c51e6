// joywire-send --web: a controller page for a phone's browser, served on the local network.
// Each message of the page is forwarded at once as one datagram; when the controller goes quiet
// or away, one neutral datagram follows.
#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/local_addresses.h"
#include "platform/terminal.h"
#include "tools/send/send_mode.h"
#include "tools/send/web/controller_message.h"
#include "tools/send/web/controller_page.h"
#include "tools/send/web/pairing_token.h"
#include "tools/send/web/web_server.h"

namespace joywire {

namespace {

using Clock = std::chrono::steady_clock;

// Forwards the controller's messages and keeps the person at the terminal informed: on a
// terminal one status line kept up to date in place, elsewhere one line per event.
class WebForwarder : public WebEvents {
 public:
  WebForwarder(const UdpSender& sender, const SenderOptions& options, const char* token)
      : sender_(sender), options_(options), token_(token), live_(StandardOutputIsTerminal()) {}

  void Listening() override {
    LocalAddresses addresses{};
    if (options_.webAddress != nullptr && std::string_view(options_.webAddress) != "0.0.0.0") {
      std::snprintf(addresses.text[0], sizeof addresses.text[0], "%s", options_.webAddress);
      addresses.count = 1;
    } else {
      ListLocalAddresses(addresses);
    }
    std::printf("joywire-send: open this address on your phone to steer %s:%u:\n", options_.host,
                static_cast<unsigned>(options_.port));
    std::fflush(stdout);
    for (std::size_t i = 0; i < addresses.count; ++i) {
      std::printf("  http://%s:%u/#%s\n", addresses.text[i],
                  static_cast<unsigned>(options_.webPort), token_);
      std::fflush(stdout);
    }
    ShowStatus();
  }

  void Forward(const float values[5]) override {
    for (int i = 0; i < 5; ++i) {
      last_[i] = values[i];
    }
    ++messagesInWindow_;
    SendValues(sender_, options_, values);
  }

  void Neutral() override {
    float neutral[5];
    NeutralValues(last_, neutral);
    for (int i = 0; i < 5; ++i) {
      last_[i] = neutral[i];
    }
    SendValues(sender_, options_, neutral);
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

  void Refused(std::string_view peer, std::string_view why) override {
    Log(std::string(peer) + ": " + std::string(why));
  }

  void Tick() override {
    const auto now = Clock::now();
    const double seconds = std::chrono::duration<double>(now - windowStart_).count();
    if (seconds >= 1.0) {
      rate_ = static_cast<double>(messagesInWindow_) / seconds;
      messagesInWindow_ = 0;
      windowStart_ = now;
    }
    ShowStatus();
  }

  // Ctrl-C or SIGTERM: the joystick is left neutral.
  void Stopped() {
    Neutral();
    if (live_) {
      std::printf("\n");
    }
    std::printf("joywire-send: stopped; sent the neutral position\n");
    std::fflush(stdout);
  }

 private:
  void Log(const std::string& line) {
    std::printf("%s%s\n", live_ ? "\r\x1b[K" : "", line.c_str());
    std::fflush(stdout);
    ShowStatus();
  }

  void ShowStatus() {
    if (!live_) {
      return;
    }
    if (peer_.empty()) {
      std::printf("\r\x1b[Kwaiting for a controller");
    } else {
      std::printf("\r\x1b[K%s  %3.0f/s  X %+.2f  Y %+.2f  Z %+.2f  B1 %.0f  B2 %.0f", peer_.c_str(),
                  rate_, static_cast<double>(last_[0]), static_cast<double>(last_[1]),
                  static_cast<double>(last_[2]), static_cast<double>(last_[3]),
                  static_cast<double>(last_[4]));
    }
    std::fflush(stdout);
  }

  const UdpSender& sender_;
  const SenderOptions& options_;
  const char* token_;
  bool live_;
  float last_[5] = {0.0f, 0.0f, -1.0f, 0.0f, 0.0f};  // the page starts with the throttle down
  std::string peer_;
  long long messagesInWindow_ = 0;
  double rate_ = 0.0;
  Clock::time_point windowStart_ = Clock::now();
};

}  // namespace

int SendWeb(const UdpSender& sender, const SenderOptions& options) {
  char token[kPairingTokenLength + 1];
  if (!MakePairingToken(token)) {
    std::fprintf(stderr, "joywire-send: no secure random source for the pairing token\n");
    return 1;
  }
  WebForwarder forwarder(sender, options, token);
  const WebServerSettings settings{options.webAddress, options.webPort, token,
                                   std::string_view(kControllerPage, kControllerPageSize)};
  char error[256];
  if (!ServeController(settings, forwarder, error, sizeof error)) {
    std::fprintf(stderr, "joywire-send: %s\n", error);
    return 1;
  }
  forwarder.Stopped();
  return 0;
}

}  // namespace joywire
