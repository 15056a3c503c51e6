#include "phone/pairing/pairing.h"

#include <cstdio>
#include <string_view>

#include "phone/pairing/terminal_qr.h"
#include "platform/local_addresses.h"

namespace joywire {

// With several players: their feeders, as "127.0.0.1-4:50000", or the list as given.
Serving ServingOf(const SenderOptions& options) {
  const bool ownLoopbacks =
      options.players > 1 && std::string_view(options.host).find(',') == std::string_view::npos;
  std::string destination = options.host;
  if (ownLoopbacks) {
    destination.append("-").append(std::to_string(options.players));
  }
  destination.append(":").append(std::to_string(options.port));
  return Serving{options.webHttps, options.webPort, options.httpPort, destination,
                 options.webAddress != nullptr ? options.webAddress : ""};
}

std::string ServingLine(const Serving& serving) {
  return std::string(serving.https ? "https " : "http ") + std::to_string(serving.port) + " " +
         std::to_string(serving.httpPort) + " " + serving.destination +
         (serving.webAddress.empty() ? "" : " " + serving.webAddress) + "\n";
}

bool ReadServingLine(const std::string& line, Serving& serving) {
  char scheme[8] = "";
  char destination[300] = "";
  char webAddress[16] = "";  // an earlier version's line ends before it: every address
  if (std::sscanf(line.c_str(), "%7s %u %u %299s %15s", scheme, &serving.port, &serving.httpPort,
                  destination, webAddress) < 4) {
    return false;
  }
  serving.https = std::string_view(scheme) == "https";
  serving.destination = destination;
  serving.webAddress = webAddress;
  return true;
}

std::string PairingText(const SenderOptions& options, const Serving& serving,
                        const std::vector<std::string>& addresses, const std::string& token,
                        bool terminal) {
  const bool players = serving.destination.find(',') != std::string::npos ||
                       serving.destination.rfind(std::string(kDefaultSendHost) + "-", 0) == 0;
  std::string text = "joywire-send: open this address on " +
                     std::string(players ? "each phone, a player each," : "your phone") +
                     " to steer " + serving.destination + ":\n";
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

bool KeepPairing(KeptFolder& folder, const char* token, bool isNew, const Serving& serving) {
  const bool kept = !isNew || folder.Write(kTokenFile, std::string(token) + "\n", true);
  return folder.Write(kServingFile, ServingLine(serving), false) && kept;
}

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

bool IsName(const std::string& address) {
  return address.size() > 6 && address.compare(address.size() - 6, 6, ".local") == 0;
}

}  // namespace joywire
