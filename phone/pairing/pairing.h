#pragma once

// The pairing of joywire-send --web: the token and what is served, kept in joywire-send's
// folder for the next start and for --pairing, and the lines (addresses, QR code) that pair a
// phone.
#include <string>
#include <vector>

#include "phone/pairing/pairing_token.h"
#include "platform/user_files.h"
#include "tools/send/sender_options.h"

namespace joywire {

// What is served, as the pairing lines tell it, and as the folder keeps it for --pairing:
// "https|http PORT HTTP-PORT HOST:PORT".
struct Serving {
  bool https;
  unsigned port;
  unsigned httpPort;
  std::string destination;  // the feeder's address and port
  std::string webAddress;   // the one address served (--web-address), or empty: every one
};
inline constexpr char kServingFile[] = "serving";
inline constexpr char kTokenFile[] = "pairing-token";

Serving ServingOf(const SenderOptions& options);
std::string ServingLine(const Serving& serving);
bool ReadServingLine(const std::string& line, Serving& serving);

// The lines that pair a phone: the page's address on each of `addresses`, and as a QR code
// (on a terminal, or as asked).
std::string PairingText(const SenderOptions& options, const Serving& serving,
                        const std::vector<std::string>& addresses, const std::string& token,
                        bool terminal);

// joywire-send's own folder (--config-dir, or the user's), checked (and made, if `make`).
KeptFolder::Found OpenKeptFolder(const SenderOptions& options, KeptFolder& folder, bool make,
                                 std::string& error);

// The pairing token, kept in joywire-send's folder (made there on the first start, or anew
// with --new-token), so that an open page, a bookmark or a home-screen icon pairs again after
// a restart. A new one is only chosen here: it is kept, with what --pairing shows, once the
// ports are bound (KeepPairing), so that a start that fails changes nothing. `note`: what a
// person should know of it then.
bool ChoosePairingToken(KeptFolder& folder, bool renew, char (&token)[kPairingTokenLength + 1],
                        bool& isNew, std::string& note, std::string& error);

// What the ports being bound makes true: the token (if new) and what is served, for the next
// start and for --pairing.
bool KeepPairing(KeptFolder& folder, const char* token, bool isNew, const Serving& serving);

// The addresses the page is served on, as the phone would type them.
std::vector<std::string> ServedAddresses(const SenderOptions& options);

// Whether an entry of the served addresses is the machine's name rather than an address.
bool IsName(const std::string& address);

}  // namespace joywire
