#include <cstdio>
#include <cstring>

#include "control/control_packet.h"
#include "control/record_tail.h"
#include "control/translate.h"
#include "tools/send/send_mode.h"

namespace joywire {

namespace {

// Room for the largest datagram a test may ask for.
unsigned char g_datagram[kMaxDatagramSize];

}  // namespace

const unsigned char* DatagramOfValues(const SenderOptions& options, const float values[5]) {
  ControlPacket packet{};
  for (std::size_t i = 0; i < 5; ++i) {
    WritePacketValue(packet, i, values[i]);
  }
  RecordTail tail = options.tail;
  // The head and the mask never disagree: the mask follows B1 and B2 as a 20-byte feeder reads
  // them, or B1 and B2 follow the mask given.
  if (!options.buttonMaskGiven) {
    tail.buttons = (detail::TruncateButton(values[3]) == 1 ? 1u : 0u) |
                   (detail::TruncateButton(values[4]) == 1 ? 2u : 0u);
  } else {
    for (std::size_t button = 0; button < 2; ++button) {
      WritePacketValue(packet, 3 + button, (tail.buttons >> button) & 1u ? 1.0f : 0.0f);
    }
  }
  std::memset(g_datagram, 0, options.size > 20 ? options.size : 20);
  std::memcpy(g_datagram, packet.bytes, 20);
  if (options.longRecord) {  // the tail after the head, which older feeders read alone
    WriteRecordTail(g_datagram + 20, tail);
  }
  return g_datagram;
}

bool SendDatagramOf(const UdpSender& sender, const SenderOptions& options, const float values[5]) {
  return SendDatagram(sender, DatagramOfValues(options, values), options.size);
}

bool SendValues(const UdpSender& sender, const SenderOptions& options, const float values[5]) {
  if (!SendDatagramOf(sender, options, values)) {
    std::fprintf(stderr, "joywire-send: sending to %s:%u failed\n", options.host,
                 static_cast<unsigned>(options.port));
    return false;
  }
  return true;
}

int SendSingle(const UdpSender& sender, const SenderOptions& options) {
  return SendValues(sender, options, options.values) ? 0 : 1;
}

}  // namespace joywire
