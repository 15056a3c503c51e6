// joywire-send --web: a controller page for a phone's browser, served on the local network.
// Each message of the page is forwarded at once as one datagram; when the controller goes quiet
// or away, one neutral datagram follows.
#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "platform/firewall_hint.h"
#include "platform/local_addresses.h"
#include "platform/terminal.h"
#include "platform/user_files.h"
#include "tools/send/send_mode.h"
#include "tools/send/web/controller_message.h"
#include "tools/send/web/controller_page.h"
#include "tools/send/web/local_authority.h"
#include "tools/send/web/pairing_token.h"
#include "tools/send/web/terminal_qr.h"
#include "tools/send/web/web_server.h"

namespace joywire {

namespace {

using Clock = std::chrono::steady_clock;
// A page not asked for by then hints at a firewall in the way.
constexpr auto kFirewallHintAfter = std::chrono::seconds(30);

// Forwards the controller's messages and keeps the person at the terminal informed: on a
// terminal one status line kept up to date in place, elsewhere one line per event.
class WebForwarder : public WebEvents {
 public:
  WebForwarder(const UdpSender& sender, const SenderOptions& options, const char* token,
               std::vector<std::string> addresses)
      : sender_(sender),
        options_(options),
        token_(token),
        addresses_(std::move(addresses)),
        live_(StandardOutputIsTerminal()) {}

  void Listening() override {
    std::printf("joywire-send: open this address on your phone to steer %s:%u:\n", options_.host,
                static_cast<unsigned>(options_.port));
    std::fflush(stdout);
    const char* scheme = options_.webHttps ? "https" : "http";
    std::string first;
    for (const std::string& address : addresses_) {
      const std::string url = std::string(scheme) + "://" + address + ":" +
                              std::to_string(options_.webPort) + "/#" + token_;
      std::printf("  %s\n", url.c_str());
      std::fflush(stdout);
      first = first.empty() ? url : first;
    }
    if (options_.webHttps && !addresses_.empty()) {
      std::printf("  first time on a phone: http://%s:%u/ shows how to trust this machine\n",
                  addresses_.front().c_str(), static_cast<unsigned>(options_.httpPort));
      std::fflush(stdout);
    }
    if (options_.webQr == 1 || (options_.webQr == -1 && live_)) {
      // The first address is the network's own, the one a phone's camera should see.
      std::printf("%s", QrCodeLines(first.c_str()).c_str());
      std::fflush(stdout);
    }
    ShowStatus();
  }

  void PageServed() override { pageServed_ = true; }

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
    const bool loopbackOnly = addresses_.size() == 1 && addresses_.front().rfind("127.", 0) == 0;
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
  std::vector<std::string> addresses_;  // the page's, the network's first and loopback last
  bool live_;
  float last_[5] = {0.0f, 0.0f, -1.0f, 0.0f, 0.0f};  // the page starts with the throttle down
  std::string peer_;
  long long messagesInWindow_ = 0;
  double rate_ = 0.0;
  Clock::time_point windowStart_ = Clock::now();
  const Clock::time_point started_ = Clock::now();
  bool pageServed_ = false;
  bool hinted_ = false;
};

// The addresses the page is served on, as the phone would type them.
std::vector<std::string> ServedAddresses(const SenderOptions& options) {
  if (options.webAddress != nullptr && std::string_view(options.webAddress) != "0.0.0.0") {
    return {options.webAddress};
  }
  LocalAddresses addresses{};
  ListLocalAddresses(addresses);
  return std::vector<std::string>(addresses.text, addresses.text + addresses.count);
}

// The addresses a phone can trust the local authority for: private and loopback ones.
bool IsPrivateOrLoopback(const std::string& address) {
  unsigned first = 0;
  unsigned second = 0;
  if (std::sscanf(address.c_str(), "%u.%u", &first, &second) != 2) {
    return false;
  }
  return first == 10 || first == 127 || (first == 172 && second >= 16 && second <= 31) ||
         (first == 192 && second == 168);
}

// The HTTPS mode's certificate: the authority's (made on the first start), and a server
// certificate of this start for the addresses it may vouch for.
bool PrepareHttps(const std::vector<std::string>& addresses, TlsIdentity& identity,
                  std::string& authorityDer) {
  LocalAuthority authority;
  std::string error;
  if (!LoadLocalAuthority(authority, error)) {
    std::fprintf(stderr, "joywire-send: %s\n", error.c_str());
    return false;
  }
  if (authority.made) {
    std::printf(
        "joywire-send: made this machine's certificate authority, %s (for phones to "
        "trust; --forget-ca deletes it)\n",
        AuthorityCertificatePath().c_str());
  }
  std::vector<std::string> trusted;
  for (const std::string& address : addresses) {
    if (IsPrivateOrLoopback(address)) {
      trusted.push_back(address);
    } else {
      std::printf("joywire-send: %s is no private address: phones cannot trust HTTPS there\n",
                  address.c_str());
    }
  }
  Key key;
  Certificate certificate;
  if (!IssueServerCertificate(authority, trusted, key, certificate, error)) {
    std::fprintf(stderr, "joywire-send: %s\n", error.c_str());
    return false;
  }
  identity.certificateChain =
      CertificatePem(certificate.get()) + CertificatePem(authority.certificate.get());
  identity.privateKey = PrivateKeyPem(key.get());
  authorityDer = CertificateDer(authority.certificate.get());
  return true;
}

}  // namespace

int SendWeb(const UdpSender& sender, const SenderOptions& options) {
  char token[kPairingTokenLength + 1];
  if (!MakePairingToken(token)) {
    std::fprintf(stderr, "joywire-send: no secure random source for the pairing token\n");
    return 1;
  }
  EnableTerminalOutput();  // the QR code's blocks and the status line's escapes
  const std::vector<std::string> addresses = ServedAddresses(options);
  TlsIdentity identity;
  std::string authorityDer;
  std::string trustPage(kTrustPage, kTrustPageSize);
  if (options.webHttps) {
    if (!PrepareHttps(addresses, identity, authorityDer)) {
      return 1;
    }
    const std::size_t port = trustPage.find("@HTTPS_PORT@");
    if (port != std::string::npos) {
      trustPage.replace(port, 12, std::to_string(options.webPort));
    }
  }
  WebForwarder forwarder(sender, options, token, addresses);
  const WebServerSettings settings{options.webAddress,
                                   options.webPort,
                                   token,
                                   std::string_view(kControllerPage, kControllerPageSize),
                                   options.webHttps ? &identity : nullptr,
                                   options.httpPort,
                                   trustPage,
                                   authorityDer};
  char error[256];
  if (!ServeController(settings, forwarder, error, sizeof error)) {
    std::fprintf(stderr, "joywire-send: %s\n", error);
    return 1;
  }
  forwarder.Stopped();
  return 0;
}

int ForgetCertificateAuthority() {
  const std::string where = AuthorityFolder();
  if (!ForgetLocalAuthority()) {
    std::printf("joywire-send: there is no certificate authority to forget in %s\n",
                where.empty() ? "the configuration folder" : where.c_str());
    return 0;
  }
  std::printf(
      "joywire-send: deleted this machine's certificate authority from %s; the next --https\n"
      "start makes a new one. Phones that trusted it still do, until it is removed there:\n"
      "  Android: Settings > Security > Encryption & credentials > User credentials >\n"
      "           \"joywire local CA on %s\" > Remove\n"
      "  iOS:     Settings > General > VPN & Device Management > the joywire profile >\n"
      "           Remove Profile\n",
      where.c_str(), MachineName().c_str());
  return 0;
}

}  // namespace joywire
