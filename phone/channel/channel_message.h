#pragma once

// What the page and joywire-send say about the data channel, and what goes over it.
//
// Over the WebSocket, as text: the page's "offer SDP" and joywire-send's "answer SDP" (or
// "datagrams off: why"); "candidate MLINE CANDIDATE" both ways; the page's "stream": its
// channel is lost, and its messages come over the WebSocket again ("stream idle": it closed
// the channel, which carried nothing new a while, and offers one again at its next change).
// Over the channel, binary: a message's sequence number, four bytes little-endian, counted
// from 1 on each channel, then the record exactly as the WebSocket carries it (20 or 56
// bytes). Unordered delivery can hand an older message over after a newer one: the number
// tells, and an older one is dropped, so that the stick never jumps back.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace joywire::web {

inline constexpr std::size_t kSequenceSize = 4;
// An offer or a candidate is longer than any controller message.
inline constexpr std::size_t kSignalLimit = 4096;

struct ChannelSignal {
  enum class Kind { kNone, kOffer, kCandidate, kStream } kind;
  int mline;              // a candidate's media line
  std::string_view text;  // the SDP, or the candidate's line; "idle" for an idle stream
};

// A text message of the page's read as signalling; kNone when it is not.
ChannelSignal ReadChannelSignal(std::span<const unsigned char> bytes);

// A channel message's sequence number and its record; false when it is too short to hold both.
bool SplitSequenced(std::span<const unsigned char> bytes, std::uint32_t& sequence,
                    std::span<const unsigned char>& record);

// Lets through only what is newer than everything let through before (within half the
// counter's range ahead, so that it may wrap).
class SequenceGate {
 public:
  bool Admit(std::uint32_t sequence);

 private:
  std::uint32_t newest_ = 0;
  bool any_ = false;
};

}  // namespace joywire::web
