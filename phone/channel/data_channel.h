#pragma once

// A phone's messages as unreliable, unordered datagrams: a WebRTC data channel that the page
// offers over its WebSocket, which carries the offer, the answer and the ICE candidates and
// stays open for the rest. A lost packet then loses one message, and the next, a few
// milliseconds later, carries the whole state again; over TCP it would hold every later one.
// Where no channel can be had (Windows; a build without GStreamer), phones steer over the
// WebSocket alone.
#include <boost/asio/io_context.hpp>

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace joywire::web {

// What a phone's channel tells the session it belongs to, always on the server's thread.
class ChannelOwner {
 public:
  virtual ~ChannelOwner() = default;
  virtual void Answer(std::string sdp) = 0;
  virtual void LocalCandidate(int mline, std::string candidate) = 0;
  virtual void ChannelOpened() = 0;
  // A message as it came (text is never a controller's: `binary` false).
  virtual void ChannelMessage(std::span<const unsigned char> bytes, bool binary) = 0;
  virtual void ChannelClosed() = 0;
};

// The UDP ports a channel may use, printed with the firewall hint.
struct ChannelPorts {
  std::uint16_t first;
  std::uint16_t last;
};

// One phone's peer connection, answering its offer. Gone with the object: its ports, its
// threads, and nothing more is told.
class DataChannelPeer {
 public:
  virtual ~DataChannelPeer() = default;
  virtual void Offer(std::string_view sdp) = 0;
  // One of the page's candidates; empty: there are no more.
  virtual void RemoteCandidate(int mline, std::string_view candidate) = 0;
  // A text message to the page over the channel (its acknowledgements); lost as any datagram.
  virtual void Send(std::string_view text) = 0;
};

// Why channels cannot be had in this run (a few words for the page and the terminal), or empty;
// kNotInThisBuild where the build has none at all (Windows, arm64), as its README says.
std::string_view DataChannelsUnavailable();
inline constexpr std::string_view kNotInThisBuild = "not in this build";

// A peer for one phone: ICE on `localAddress` only (the address its WebSocket came to, so that
// nothing leaves the network it came from), a host candidate on a port in `ports`; no STUN or
// TURN server. Null where none can be had.
std::unique_ptr<DataChannelPeer> StartDataChannelPeer(boost::asio::io_context& io,
                                                      std::weak_ptr<ChannelOwner> owner,
                                                      std::string_view localAddress,
                                                      ChannelPorts ports);

// What the module that makes them (joywire-datachannel.so, with GStreamer) offers, from its one
// exported function, kChannelModuleEntry: joywire-send starts and serves without GStreamer.
struct ChannelModule {
  std::string_view (*unavailable)();
  std::unique_ptr<DataChannelPeer> (*start)(boost::asio::io_context& io,
                                            std::weak_ptr<ChannelOwner> owner,
                                            std::string_view localAddress, ChannelPorts ports);
};
inline constexpr char kChannelModuleEntry[] = "joywire_channel_module";

}  // namespace joywire::web
