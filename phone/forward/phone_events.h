#pragma once

// What the phone server tells the person at the terminal, as it happens. Players are numbered
// from 1; with one player, every phone steers player 1. (The datagrams themselves go to the
// Forwarder, which the server calls directly.)
#include <string>
#include <string_view>

namespace joywire {

class PhoneEvents {
 public:
  virtual ~PhoneEvents() = default;
  // Every address the page is served on is bound; the server runs from now on.
  virtual void Listening() = 0;
  // The page itself was asked for (so the network lets phones in).
  virtual void PageServed() = 0;
  // The process is about to stop for a while (Ctrl-Z), the neutral position sent.
  virtual void Suspended() = 0;
  virtual void Connected(int player, std::string_view peer) = 0;
  // `peer` empty: the phone that steered it, which sent requests and went quiet.
  virtual void Disconnected(int player, std::string_view peer, std::string_view why) = 0;
  // The way a player's messages come now: "datagrams" (its data channel) or "stream" (its
  // WebSocket, as at first); "idle", on the stream since its channel carried nothing new a
  // while (the page closed it, and offers one at its next move); or "unopened", a channel
  // offered that did not open in time (UDP blocked on the way), its messages on the stream.
  virtual void Path(int player, std::string_view path) = 0;
  // The round trip a player's phone measured (the median of its last few seconds).
  virtual void RoundTrip(int player, int milliseconds) = 0;
  // A request or a connection the server turned away, with the reason.
  virtual void Refused(std::string_view peer, std::string_view why) = 0;
  // A few times a second, for a display that changes with time.
  virtual void Tick() = 0;
  // The server stops (a signal, or the console's end), every player's neutral position sent:
  // the last thing it tells.
  virtual void Stopped() = 0;
  // What keeps a player's device from moving that its phone should be told of (a feeder
  // started beside that cannot listen), or empty.
  virtual std::string Trouble(int player) const = 0;
};

}  // namespace joywire
