#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "control/record_tail.h"
#include "phone/players.h"

namespace joywire {

enum class SendMode {
  kHelp,
  kVersion,
  kSingle,    // one datagram from five numbers on the command line
  kLines,     // one datagram per line of five numbers on standard input
  kDemo,      // a smooth motion at a rate for a time
  kFlood,     // N datagrams, as fast as possible or at a rate
  kKeys,      // steered from the keyboard, sent on every key and at a rate
  kWeb,       // a controller page for a phone's browser, served on the local network
  kForgetCa,  // deletes the web mode's local certificate authority
  kPairing,   // shows the web mode's pairing address and QR code again
};

struct SenderOptions {
  SendMode mode;
  const char* host;
  std::uint16_t port;
  float values[5];
  double rate;           // datagrams per second; 0 means as fast as possible
  double seconds;        // demo length
  std::uint64_t count;   // flood size
  std::size_t size;      // datagram length in bytes (20 unless --size or the longer record)
  bool longRecord;       // the longer record (--buttons, --hat, --axes), its tail in `tail`
  bool buttonMaskGiven;  // --buttons; otherwise the mask follows B1 and B2
  RecordTail tail;
  const char* webAddress;  // where the page is served: dotted IPv4, or null for every address
  std::uint16_t webPort;   // the page's port
  int webQr;      // the page's address as a QR code: 1 printed, 0 not, -1 when stdout is a terminal
  bool webHttps;  // the page over HTTPS, its certificate from a local authority
  std::uint16_t httpPort;   // with HTTPS: the plain-HTTP port for the authority's certificate
  const char* configDir;    // where the pairing and the authority are kept, or null: the user's
  bool newToken;            // a new pairing token, instead of the kept one
  float throttleRest;       // Z when the phone goes quiet, or kThrottleStays
  const char* startFeeder;  // a feeder to run beside for each player's device, or null
  int players;              // --web: phones that steer a device each, 1 to kMaxPlayers
  bool webDatagrams;        // --web: a data channel a phone beside its WebSocket, where it can
  std::uint16_t datagramPorts[2];  // the UDP ports the channels use, first and last
};

// The neutral position keeps the throttle where it was, unless asked otherwise.
inline constexpr float kThrottleStays = 2.0f;

inline constexpr char kDefaultSendHost[] = "127.0.0.1";
inline constexpr std::uint16_t kDefaultSendPort = 50000;
inline constexpr double kDefaultDemoRate = 60.0;
inline constexpr double kDefaultKeysRate = 30.0;
inline constexpr double kDefaultDemoSeconds = 5.0;
inline constexpr std::size_t kMaxDatagramSize = 65507;
inline constexpr std::uint16_t kDefaultWebPort = 8080;
inline constexpr std::uint16_t kDefaultHttpsPort = 8443;
inline constexpr std::uint16_t kDefaultDatagramPorts[2] = {50100, 50131};

// Where player `player` (1..options.players)'s datagrams go: the player-th address of a
// --host list, or with one --host of 127.0.0.1 (the default) and more than one player,
// 127.0.0.`player`, device `player`'s own loopback address.
void PlayerHost(const SenderOptions& options, int player, char (&host)[256]);

// Parses the command line; on failure writes a one-line reason to `error` and returns false.
bool ParseSenderOptions(int argc, const char* const* argv, SenderOptions& options, char* error,
                        std::size_t errorCapacity);

// Each option and its help, one to three lines, as --help shows them.
void PrintSenderOptions(std::FILE* out);

// Whether `text` is a dotted-decimal IPv4 address: four numbers 0..255, nothing else.
bool IsDottedIpv4(const char* text);

// Parses five numbers (decimal, nan, inf) separated by blanks or commas.
bool ParseFiveNumbers(const char* text, float values[5]);

}  // namespace joywire
