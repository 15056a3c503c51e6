#include <cstdio>
#include <cstring>

#include "control/control_packet.h"
#include "control/record_tail.h"
#include "tools/send/send_mode.h"

namespace joywire {

namespace {

// Room for the largest datagram a test may ask for.
unsigned char g_datagram[kMaxDatagramSize];

}  // namespace

bool SendDatagramOf(const UdpSender& sender, const SenderOptions& options, const float values[5]) {
  ControlPacket packet{};
  for (std::size_t i = 0; i < 5; ++i) {
    WritePacketValue(packet, i, values[i]);
  }
  std::memset(g_datagram, 0, options.size > 20 ? options.size : 20);
  std::memcpy(g_datagram, packet.bytes, 20);
  if (options.longRecord) {  // the tail after the head, which older feeders read alone
    RecordTail tail = options.tail;
    if (!options.buttonMaskGiven) {
      tail.buttons = (values[3] == 1.0f ? 1u : 0u) | (values[4] == 1.0f ? 2u : 0u);
    }
    WriteRecordTail(g_datagram + 20, tail);
  }
  return SendDatagram(sender, g_datagram, options.size);
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
