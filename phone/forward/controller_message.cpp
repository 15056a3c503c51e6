#include "phone/forward/controller_message.h"

#include <cmath>
#include <cstring>

#include "control/control_packet.h"

namespace joywire {

MessageVerdict CheckControllerMessage(const unsigned char* bytes, std::size_t size, bool binary,
                                      ControllerMessage& message) {
  if (size > kControllerMessageLimit) {
    return MessageVerdict::kTooLarge;
  }
  if (!binary) {
    return MessageVerdict::kNotBinary;
  }
  if (size != kControllerMessageSize && size != kLongRecordSize) {
    return MessageVerdict::kWrongSize;
  }
  ControlPacket packet{};
  std::memcpy(packet.bytes, bytes, kControlPacketSize);
  bool finite = true;
  for (std::size_t i = 0; i < 5; ++i) {
    message.values[i] = ReadPacketValue(packet, i);
    finite = finite && std::isfinite(message.values[i]);
  }
  message.longRecord = size == kLongRecordSize;
  message.tail = RecordTail{kHatCentred, 0, {}};
  if (message.longRecord) {
    ReceiveBuffer buffer{};
    std::memcpy(&buffer, bytes, kLongRecordSize);
    const std::uint8_t* tail = bytes + kControlPacketSize;
    // Read back exactly as sent: a hat out of range or a set reserved byte is no record.
    if (!ReadRecordTail(buffer, size, message.tail) || tail[5] > kHatDirections || tail[6] != 0 ||
        tail[7] != 0) {
      return MessageVerdict::kNotRecord;
    }
    for (const float axis : message.tail.axes) {
      finite = finite && std::isfinite(axis);
    }
  }
  return finite ? MessageVerdict::kForward : MessageVerdict::kNotFinite;
}

std::size_t DatagramOfMessage(const ControllerMessage& message, unsigned char* datagram) {
  ControlPacket packet{};
  for (std::size_t i = 0; i < 5; ++i) {
    WritePacketValue(packet, i, message.values[i]);
  }
  std::memcpy(datagram, packet.bytes, kControlPacketSize);
  if (!message.longRecord) {
    return kControlPacketSize;
  }
  WriteRecordTail(datagram + kControlPacketSize, message.tail);
  return kLongRecordSize;
}

CloseFor CloseForVerdict(MessageVerdict verdict) {
  switch (verdict) {
    case MessageVerdict::kNotBinary:
      return CloseFor{1003, "binary messages only"};
    case MessageVerdict::kWrongSize:
      return CloseFor{1008, "a message is 20 bytes, or 56 for the longer record"};
    case MessageVerdict::kTooLarge:
      return CloseFor{1009, "a message is 56 bytes at most"};
    case MessageVerdict::kNotFinite:
      return CloseFor{1007, "values must be finite"};
    case MessageVerdict::kNotRecord:
      return CloseFor{1007, "56 bytes must be the longer record"};
    case MessageVerdict::kForward:
      break;
  }
  return CloseFor{1000, ""};
}

ControllerMessage NeutralOf(const ControllerMessage& last) {
  ControllerMessage neutral{{0.0f, 0.0f, last.values[2], 0.0f, 0.0f}, last.longRecord, {}};
  if (last.longRecord) {
    neutral.values[2] = -1.0f;
    neutral.tail = RecordTail{kHatCentred, 0, {0.0f, 0.0f, -1.0f, 0.0f, 0.0f, 0.0f}};
  }
  return neutral;
}

bool ReadRoundTripReport(const unsigned char* bytes, std::size_t size, int& milliseconds) {
  constexpr char kPrefix[] = "rtt ";
  constexpr std::size_t kPrefixSize = sizeof kPrefix - 1;
  constexpr std::size_t kDigits = 9;  // whatever a page's clock may report
  if (size <= kPrefixSize || size > kPrefixSize + kDigits ||
      std::memcmp(bytes, kPrefix, kPrefixSize) != 0) {
    return false;
  }
  int value = 0;
  for (std::size_t i = kPrefixSize; i < size; ++i) {
    if (bytes[i] < '0' || bytes[i] > '9') {
      return false;
    }
    value = value * 10 + (bytes[i] - '0');
  }
  milliseconds = value <= 60000 ? value : -1;
  return true;
}

}  // namespace joywire
