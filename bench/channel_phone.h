#pragma once

// A phone on a data channel, for the link benchmark: webrtcbin offering one unordered channel
// that never retransmits, as the controller page does, over a WebSocket of its own.
#include <cstdint>
#include <string>

class ChannelPhone {
 public:
  ChannelPhone();
  ~ChannelPhone();
  // Joins joywire-send at `server`:`port` and opens the channel; false (and why) when it does
  // not open within 20 s.
  bool Open(const std::string& server, std::uint16_t port, const std::string& token,
            std::string& why);
  // One message: its sequence number, then the 20-byte record.
  void Send(std::uint32_t sequence, const float values[5]);

 private:
  struct Parts;
  Parts* parts_;
};
