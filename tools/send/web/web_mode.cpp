// joywire-send --web: a controller page for a phone's browser, served on the local network.
// Each message of the page is forwarded at once as one datagram; when the controller goes quiet
// or away, one neutral datagram follows.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/feeder_process.h"
#include "platform/firewall_hint.h"
#include "platform/local_addresses.h"
#include "platform/terminal.h"
#include "platform/user_files.h"
#include "tools/send/send_mode.h"
#include "tools/send/web/controller_message.h"
#include "tools/send/web/controller_page.h"
#include "tools/send/web/detached_output.h"
#include "tools/send/web/local_authority.h"
#include "tools/send/web/pairing_token.h"
#include "tools/send/web/terminal_qr.h"
#include "tools/send/web/web_server.h"

namespace joywire {

namespace {

using Clock = std::chrono::steady_clock;
// A page not asked for by then hints at a firewall in the way.
constexpr auto kFirewallHintAfter = std::chrono::seconds(30);

// What is served, as the pairing lines tell it, and as the folder keeps it for --pairing:
// "https|http PORT HTTP-PORT HOST:PORT".
struct Serving {
  bool https;
  unsigned port;
  unsigned httpPort;
  std::string destination;  // the feeder's address and port
};
constexpr char kServingFile[] = "serving";

Serving ServingOf(const SenderOptions& options) {
  return Serving{options.webHttps, options.webPort, options.httpPort,
                 std::string(options.host) + ":" + std::to_string(options.port)};
}

std::string ServingLine(const Serving& serving) {
  return std::string(serving.https ? "https " : "http ") + std::to_string(serving.port) + " " +
         std::to_string(serving.httpPort) + " " + serving.destination + "\n";
}

bool ReadServingLine(const std::string& line, Serving& serving) {
  char scheme[8] = "";
  char destination[300] = "";
  if (std::sscanf(line.c_str(), "%7s %u %u %299s", scheme, &serving.port, &serving.httpPort,
                  destination) != 4) {
    return false;
  }
  serving.https = std::string_view(scheme) == "https";
  serving.destination = destination;
  return true;
}

// The lines that pair a phone: the page's address on each of `addresses`, and as a QR code
// (on a terminal, or as asked).
std::string PairingText(const SenderOptions& options, const Serving& serving,
                        const std::vector<std::string>& addresses, const std::string& token,
                        bool terminal) {
  std::string text =
      "joywire-send: open this address on your phone to steer " + serving.destination + ":\n";
  std::string first;
  for (const std::string& address : addresses) {
    const std::string url = std::string(serving.https ? "https" : "http") + "://" + address + ":" +
                            std::to_string(serving.port) + "/#" + token;
    text += "  " + url + "\n";
    first = first.empty() ? url : first;
  }
  if (serving.https && !addresses.empty()) {
    text += "  first time on a phone: http://" + addresses.front() + ":" +
            std::to_string(serving.httpPort) + "/ shows how to trust this machine\n";
  }
  if (options.webQr == 1 || (options.webQr == -1 && terminal)) {
    // The first address is the network's own, the one a phone's camera should see.
    text += QrCodeLines(first.c_str());
  }
  return text;
}

// Forwards the controller's messages and keeps the person at the terminal informed: on a
// terminal one status line kept up to date in place, elsewhere one line per event. What is
// printed goes out on a thread of its own: forwarding never waits for the output.
class WebForwarder : public WebEvents {
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

  void Forward(const float values[5]) override {
    for (int i = 0; i < 5; ++i) {
      last_[i] = values[i];
    }
    ++messagesInWindow_;
    Send(values);
  }

  void Neutral() override {
    float neutral[5];
    NeutralValues(last_, neutral);
    if (options_.throttleRest != kThrottleStays) {
      neutral[2] = options_.throttleRest;  // a robot stops, rather than keep driving
    }
    for (int i = 0; i < 5; ++i) {
      last_[i] = neutral[i];
    }
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
  void Send(const float values[5]) {
    if (!SendDatagramOf(sender_, options_, values)) {
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
                  rate_, static_cast<double>(last_[0]), static_cast<double>(last_[1]),
                  static_cast<double>(last_[2]), static_cast<double>(last_[3]),
                  static_cast<double>(last_[4]));
    output_.Status(peer_ + values);
  }

  std::function<std::string()> served_;  // keeps the pairing; what to tell of it
  FeederProcess* feeder_;
  const UdpSender& sender_;
  const SenderOptions& options_;
  const char* token_;
  std::vector<std::string> addresses_;  // the page's, the network's first and loopback last
  bool live_;
  DetachedOutput output_;
  float last_[5] = {0.0f, 0.0f, -1.0f, 0.0f, 0.0f};  // the page starts with the throttle down
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

#ifdef _WIN32
constexpr char kPathSeparator[] = "\\";
#else
constexpr char kPathSeparator[] = "/";
#endif

// joywire-send's own folder (--config-dir, or the user's), checked (and made, if `make`).
KeptFolder::Found OpenKeptFolder(const SenderOptions& options, KeptFolder& folder, bool make,
                                 std::string& error) {
  const std::string path = options.configDir != nullptr ? options.configDir : UserConfigFolder();
  if (path.empty()) {
    error =
        "no folder to keep the pairing and the certificate authority in (set HOME, or "
        "give --config-dir)";
    return KeptFolder::Found::kRefused;
  }
  return folder.Open(path, make, error);
}

// The pairing token, kept in joywire-send's folder (made there on the first start, or anew
// with --new-token), so that an open page, a bookmark or a home-screen icon pairs again after
// a restart. A new one is only chosen here: it is kept, with what --pairing shows, once the
// ports are bound (KeepPairing), so that a start that fails changes nothing. `note`: what a
// person should know of it then.
constexpr char kTokenFile[] = "pairing-token";
bool ChoosePairingToken(KeptFolder& folder, bool renew, char (&token)[kPairingTokenLength + 1],
                        bool& isNew, std::string& note, std::string& error) {
  std::string kept;
  const KeptFolder::Found found =
      renew ? KeptFolder::Found::kMissing : folder.Read(kTokenFile, true, kept, error);
  if (found == KeptFolder::Found::kRefused) {
    error += " (or, if others may have read it, start once with --new-token)";
    return false;
  }
  kept = kept.substr(0, kept.find_first_of("\r\n"));
  isNew = !(found == KeptFolder::Found::kYes && IsPairingToken(kept));
  if (!isNew) {
    kept.copy(token, kPairingTokenLength);
    token[kPairingTokenLength] = '\0';
    return true;
  }
  if (!MakePairingToken(token)) {
    error = "no secure random source for the pairing token";
    return false;
  }
  if (renew) {
    note = "joywire-send: a new pairing token: addresses printed before no longer steer";
  } else if (found == KeptFolder::Found::kYes) {
    note = "joywire-send: the kept pairing token was damaged; made a new one";
  }
  return true;
}

// What the ports being bound makes true: the token (if new) and what is served, for the next
// start and for --pairing.
bool KeepPairing(KeptFolder& folder, const char* token, bool isNew, const Serving& serving) {
  const bool kept = !isNew || folder.Write(kTokenFile, std::string(token) + "\n", true);
  return folder.Write(kServingFile, ServingLine(serving), false) && kept;
}

// The addresses the page is served on, as the phone would type them.
std::vector<std::string> ServedAddresses(const SenderOptions& options) {
  if (options.webAddress != nullptr && std::string_view(options.webAddress) != "0.0.0.0") {
    return {options.webAddress};
  }
  LocalAddresses addresses{};
  ListLocalAddresses(addresses);
  std::vector<std::string> served(addresses.text, addresses.text + addresses.count);
  // The machine's name, which outlives a new DHCP address: after the network's own address (the
  // QR code shows the first) and before loopback.
  const std::string name = LocalNetworkName();
  if (!name.empty()) {
    const bool network = !served.empty() && served.front().rfind("127.", 0) != 0;
    served.insert(network ? served.begin() + 1 : served.end(), name);
  }
  return served;
}

// Whether an entry of the served addresses is the machine's name rather than an address.
bool IsName(const std::string& address) {
  return address.size() > 6 && address.compare(address.size() - 6, 6, ".local") == 0;
}

// Loopback addresses besides 127.0.0.1 (127.0.1.1 is Debian's host name): no phone reaches the
// machine there, so no certificate names them and none is made for them; any local process
// could otherwise make the kept certificate change at will.
bool IsOtherLoopback(const std::string& address) {
  return address.rfind("127.", 0) == 0 && address != "127.0.0.1";
}

// The addresses a phone can trust the local authority for: private ones, and 127.0.0.1; and
// the machine's .local name.
bool IsPrivateOrLoopback(const std::string& address) {
  if (IsName(address)) {
    return true;
  }
  unsigned first = 0;
  unsigned second = 0;
  if (std::sscanf(address.c_str(), "%u.%u", &first, &second) != 2 || IsOtherLoopback(address)) {
    return false;
  }
  return first == 10 || first == 127 || (first == 172 && second >= 16 && second <= 31) ||
         (first == 192 && second == 168);
}

constexpr char kNewCertificate[] =
    "joywire-send: new certificate: phones that tapped through the warning must do it once more";

// The identity the server hands out: the server certificate, the authority's, its key, names.
TlsIdentity IdentityOf(const LocalAuthority& authority, const Key& key,
                       const Certificate& certificate, const std::vector<std::string>& names) {
  return TlsIdentity{
      CertificatePem(certificate.get()) + CertificatePem(authority.certificate.get()),
      PrivateKeyPem(key.get()), names};
}

// The HTTPS mode's certificate: the authority's (made on the first start), and the server
// certificate for the addresses it may vouch for (kept from an earlier start while it fits).
bool PrepareHttps(KeptFolder& folder, const std::vector<std::string>& addresses,
                  LocalAuthority& authority, TlsIdentity& identity, std::string& authorityDer) {
  std::string error;
  if (!LoadLocalAuthority(folder, authority, error)) {
    std::fprintf(stderr, "joywire-send: %s\n", error.c_str());
    return false;
  }
  if (authority.made) {
    std::printf(
        "joywire-send: made this machine's certificate authority, %s (for phones to "
        "trust; --forget-ca deletes it)\n",
        (folder.Path() + kPathSeparator + kAuthorityCertificateFile).c_str());
  }
  // What a person compares with what the phone shows before trusting it.
  std::printf("joywire-send: certificate authority's SHA-256 fingerprint: %s\n",
              Fingerprint(authority.certificate.get()).c_str());
  std::vector<std::string> trusted;
  for (const std::string& address : addresses) {
    if (IsPrivateOrLoopback(address)) {
      trusted.push_back(address);
    } else if (!IsOtherLoopback(address)) {
      std::printf("joywire-send: %s is no private address: phones cannot trust HTTPS there\n",
                  address.c_str());
    }
  }
  Key key;
  Certificate certificate;
  bool renewed = false;
  if (!KeptServerCertificate(folder, authority, trusted, key, certificate, renewed, error)) {
    std::fprintf(stderr, "joywire-send: %s\n", error.c_str());
    return false;
  }
  if (renewed) {
    std::printf("%s\n", kNewCertificate);
  }
  identity = IdentityOf(authority, key, certificate, trusted);
  authorityDer = CertificateDer(authority.certificate.get());
  return true;
}

// A certificate that names one more address, for a network that came up after the start; kept
// in the folder by a thread of its own, so that no file is waited for here.
bool NameAnotherAddress(const LocalAuthority& authority, const std::string& folder,
                        const std::string& address, TlsIdentity& identity) {
  if (!IsPrivateOrLoopback(address)) {
    return false;
  }
  std::vector<std::string> names = identity.addresses;
  names.push_back(address);
  Key key;
  Certificate certificate;
  std::string error;
  if (!IssueServerCertificate(authority, names, key, certificate, error)) {
    return false;
  }
  identity = IdentityOf(authority, key, certificate, names);
  std::thread([folder, key = identity.privateKey, pem = CertificatePem(certificate.get())] {
    TakeNoSignalsOnThisThread();
    KeepServerCertificate(folder, key, pem);
  }).detach();
  return true;
}

}  // namespace

int SendWeb(const UdpSender& sender, const SenderOptions& options) {
  IgnoreClosedOutput();        // output nobody reads any more must not end us with a button held
  KeepOutputFromStoppingUs();  // nor output from a background job
  UseOpenSslAsBuilt();
  // What outlives a run is read and made under the folder's lock; it is let go once served.
  auto folder = std::make_unique<KeptFolder>();
  char token[kPairingTokenLength + 1];
  bool newToken = false;
  std::string note;
  std::string error;
  if (OpenKeptFolder(options, *folder, true, error) != KeptFolder::Found::kYes || !folder->Lock() ||
      !ChoosePairingToken(*folder, options.newToken, token, newToken, note, error)) {
    std::fprintf(stderr, "joywire-send: %s\n",
                 error.empty() ? ("cannot lock " + folder->Path()).c_str() : error.c_str());
    return 1;
  }
  EnableTerminalOutput();  // the QR code's blocks and the status line's escapes
  const std::vector<std::string> addresses = ServedAddresses(options);
  LocalAuthority authority;
  TlsIdentity identity;
  std::string authorityDer;
  std::string trustPage(kTrustPage, kTrustPageSize);
  if (options.webHttps) {
    if (!PrepareHttps(*folder, addresses, authority, identity, authorityDer)) {
      return 1;
    }
    const auto fill = [&trustPage](std::string_view mark, const std::string& text) {
      const std::size_t at = trustPage.find(mark);
      if (at != std::string::npos) {
        trustPage.replace(at, mark.size(), text);
      }
    };
    fill("@HTTPS_PORT@", std::to_string(options.webPort));
    fill("@CA_FINGERPRINT@", Fingerprint(authority.certificate.get()));
  }
  std::fflush(stdout);  // before what the web mode's own writer writes
  const std::string folderPath = folder->Path();
  FeederProcess feeder;
  if (options.startFeeder != nullptr) {
    char failure[256];
    if (!StartFeeder(options.startFeeder, "1", options.host, feeder, failure, sizeof failure)) {
      std::fprintf(stderr, "joywire-send: %s\n", failure);
      return 1;
    }
    std::printf("joywire-send: started the feeder %s for device 1 on %s\n", options.startFeeder,
                options.host);
    std::fflush(stdout);
  }
  // Once every port is bound: the pairing kept, and the folder let go.
  const auto served = [&]() {
    if (!KeepPairing(*folder, token, newToken, ServingOf(options))) {
      note += (note.empty() ? "" : "\n") +
              std::string("joywire-send: cannot keep the pairing in ") + folder->Path() +
              ": the next start pairs anew";
    }
    folder.reset();
    return note;
  };
  const auto named = std::find_if(addresses.begin(), addresses.end(), IsName);
  const std::string networkName = named != addresses.end() ? *named : "";
  WebForwarder forwarder(sender, options, token, addresses,
                         options.startFeeder != nullptr ? &feeder : nullptr, served);
  const WebServerSettings settings{
      options.webAddress,
      options.webPort,
      token,
      std::string_view(kControllerPage, kControllerPageSize),
      kPageFiles,
      kPageFileCount,
      options.webHttps ? &identity : nullptr,
      [&](const std::string& address, TlsIdentity& renewed) {
        renewed = identity;
        if (!NameAnotherAddress(authority, folderPath, address, renewed)) {
          return false;
        }
        identity = renewed;
        forwarder.Note(std::string(kNewCertificate) + " (for " + address + ")");
        return true;
      },
      options.httpPort,
      trustPage,
      authorityDer,
      networkName};
  char failure[256];
  if (!ServeController(settings, forwarder, failure, sizeof failure)) {
    std::fprintf(stderr, "joywire-send: %s\n", failure);
    if (feeder.process >= 0) {
      StopFeeder(feeder);
    }
    return 1;
  }
  forwarder.Finish();
  return 0;
}

int ShowPairing(const SenderOptions& options) {
  KeptFolder folder;
  std::string error;
  std::string token;
  std::string served;
  Serving serving;
  const bool paired = OpenKeptFolder(options, folder, false, error) == KeptFolder::Found::kYes &&
                      folder.Read(kTokenFile, true, token, error) == KeptFolder::Found::kYes &&
                      folder.Read(kServingFile, false, served, error) == KeptFolder::Found::kYes &&
                      ReadServingLine(served, serving);
  if (!paired) {
    std::fprintf(stderr, "joywire-send: %s\n",
                 !error.empty() ? error.c_str()
                                : ("no pairing in " +
                                   (folder.Path().empty() ? std::string("the configuration folder")
                                                          : folder.Path()) +
                                   ": joywire-send --web has not run with it")
                                      .c_str());
    return 1;
  }
  EnableTerminalOutput();
  token = token.substr(0, token.find_first_of("\r\n"));
  std::fputs(
      PairingText(options, serving, ServedAddresses(options), token, StandardOutputIsTerminal())
          .c_str(),
      stdout);
  return 0;
}

int ForgetCertificateAuthority(const SenderOptions& options) {
  KeptFolder folder;
  std::string error;
  const KeptFolder::Found found = OpenKeptFolder(options, folder, false, error);
  if (found == KeptFolder::Found::kRefused) {
    std::fprintf(stderr, "joywire-send: %s\n", error.c_str());
    return 1;
  }
  if (found == KeptFolder::Found::kYes && ForgetLocalAuthority(folder)) {
    std::printf(
        "joywire-send: deleted this machine's certificate authority from %s; the next --https\n"
        "start makes a new one. Phones that trusted it still do, until it is removed there:\n"
        "  Android: Settings > Security > Encryption & credentials > User credentials >\n"
        "           \"joywire local CA on %s\" > Remove\n"
        "  iOS:     Settings > General > VPN & Device Management > the joywire profile >\n"
        "           Remove Profile\n",
        folder.Path().c_str(), MachineName().c_str());
    return 0;
  }
  std::printf("joywire-send: there is no certificate authority to forget in %s\n",
              folder.Path().c_str());
  return 0;
}

}  // namespace joywire
