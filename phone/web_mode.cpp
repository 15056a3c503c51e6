// joywire-send --web: a controller page for a phone's browser, served on the local network.
// Each message of the page is forwarded at once as one datagram; when the controller goes quiet
// or away, one neutral datagram follows. Here: the mode's start-up, --pairing and --forget-ca.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "phone/channel/data_channel.h"
#include "phone/controller_page.h"
#include "phone/forward/forwarder.h"
#include "phone/forward/status_display.h"
#include "phone/pairing/https_identity.h"
#include "phone/pairing/local_authority.h"
#include "phone/pairing/pairing.h"
#include "phone/server/serve.h"
#include "platform/feeder_process.h"
#include "platform/terminal.h"
#include "platform/user_files.h"
#include "tools/send/send_mode.h"

namespace joywire {

namespace {

// Those of the players after the first, whose sender is the caller's.
void ClosePlayerSenders(std::vector<UdpSender>& senders) {
  for (std::size_t i = 1; i < senders.size(); ++i) {
    CloseUdpSender(senders[i]);
  }
  senders.resize(std::min<std::size_t>(senders.size(), 1));
}

// Each other player's sender than player 1's (the one given), to its own feeder; none is left
// open when one cannot be.
bool OpenPlayerSenders(const UdpSender& first, const SenderOptions& options,
                       std::vector<UdpSender>& senders) {
  senders.assign(1, first);
  for (int player = 2; player <= options.players; ++player) {
    char host[256];
    char failure[256];
    PlayerHost(options, player, host);
    if (!OpenUdpSender(host, options.port, senders.emplace_back(), failure, sizeof failure)) {
      senders.pop_back();
      std::fprintf(stderr, "joywire-send: player %d: %s\n", player, failure);
      ClosePlayerSenders(senders);
      return false;
    }
  }
  return true;
}

void StopFeeders(std::vector<FeederProcess>& feeders) {
  for (FeederProcess& feeder : feeders) {
    if (feeder.process >= 0) {
      StopFeeder(feeder);
    }
  }
}

// --start-feeder: a feeder for each player's device, on its address; none is left running when
// one cannot start.
bool StartPlayerFeeders(const SenderOptions& options, std::vector<FeederProcess>& feeders) {
  for (int player = 1; options.startFeeder != nullptr && player <= options.players; ++player) {
    char host[256];
    char failure[256];
    PlayerHost(options, player, host);
    const std::string device = std::to_string(player);
    if (!StartFeeder(options.startFeeder, device.c_str(), host, feeders.emplace_back(), failure,
                     sizeof failure)) {
      feeders.pop_back();
      std::fprintf(stderr, "joywire-send: %s\n", failure);
      StopFeeders(feeders);
      return false;
    }
    std::printf("joywire-send: started the feeder %s for device %d on %s\n", options.startFeeder,
                player, host);
    std::fflush(stdout);
  }
  return true;
}

// The HTTPS mode's trust page, with its port and the authority's fingerprint filled in.
std::string TrustPageOf(const SenderOptions& options, const LocalAuthority& authority) {
  std::string page(kTrustPage, kTrustPageSize);
  const auto fill = [&page](std::string_view mark, const std::string& text) {
    const std::size_t at = page.find(mark);
    if (at != std::string::npos) {
      page.replace(at, mark.size(), text);
    }
  };
  fill("@HTTPS_PORT@", std::to_string(options.webPort));
  fill("@CA_FINGERPRINT@", Fingerprint(authority.certificate.get()));
  return page;
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
    trustPage = TrustPageOf(options, authority);
  }
  std::fflush(stdout);  // before what the web mode's own writer writes
  const std::string folderPath = folder->Path();
  std::vector<UdpSender> senders;
  if (!OpenPlayerSenders(sender, options, senders)) {
    return 1;
  }
  std::vector<FeederProcess> feeders;
  if (!StartPlayerFeeders(options, feeders)) {
    ClosePlayerSenders(senders);
    return 1;
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
  if (options.webDatagrams) {  // loaded now, rather than as the first phone offers a channel
    const std::string_view why = web::DataChannelsUnavailable();
    if (!why.empty() && why != web::kNotInThisBuild) {
      note += (note.empty() ? "" : "\n") +
              std::string("joywire-send: phones steer over their WebSocket (no datagrams: ") +
              std::string(why) + ")";
    }
  }
  const auto named = std::find_if(addresses.begin(), addresses.end(), IsName);
  const std::string networkName = named != addresses.end() ? *named : "";
  Forwarder forwarder(senders, options.throttleRest == kThrottleStays
                                   ? std::nullopt
                                   : std::optional<float>(options.throttleRest));
  StatusDisplay display(
      forwarder, options,
      PairingText(options, ServingOf(options), addresses, token, StandardOutputIsTerminal()),
      addresses, feeders, served);
  const WebServerSettings settings{
      options.webAddress,
      options.webPort,
      options.players,
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
        display.Note(std::string(kNewCertificate) + " (for " + address + ")");
        return true;
      },
      options.httpPort,
      trustPage,
      authorityDer,
      networkName,
      options.webDatagrams,
      {options.datagramPorts[0], options.datagramPorts[1]}};
  char failure[256];
  if (!ServeController(settings, forwarder, display, failure, sizeof failure)) {
    std::fprintf(stderr, "joywire-send: %s\n", failure);
    StopFeeders(feeders);
    ClosePlayerSenders(senders);
    return 1;
  }
  display.Finish();
  ClosePlayerSenders(senders);
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
  // The addresses that run served: its one address, or every address the machine has now.
  SenderOptions lastRun = options;
  lastRun.webAddress = serving.webAddress.empty() ? nullptr : serving.webAddress.c_str();
  std::fputs(
      PairingText(options, serving, ServedAddresses(lastRun), token, StandardOutputIsTerminal())
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
