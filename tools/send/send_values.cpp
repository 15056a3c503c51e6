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
    const std::uint32_t mask = options.buttonMask;
    const unsigned char tail[12] = {kRecordTag[0],
                                    kRecordTag[1],
                                    kRecordTag[2],
                                    kRecordTag[3],
                                    kRecordTailVersion,
                                    kHatCentred,
                                    0,
                                    0,
                                    static_cast<unsigned char>(mask),
                                    static_cast<unsigned char>(mask >> 8),
                                    static_cast<unsigned char>(mask >> 16),
                                    static_cast<unsigned char>(mask >> 24)};
    std::memset(g_datagram + 20, 0, kLongRecordSize - 20);
    std::memcpy(g_datagram + 20, tail, sizeof tail);
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
