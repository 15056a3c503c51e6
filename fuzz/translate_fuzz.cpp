// Any datagram: every axis lands in 0..32767, the buttons in {0, 1, 2}, and the buffer holds
// exactly the scaled axis values afterwards; only a record's length, tag and version give a tail.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "control/datagram.h"
#include "control/position_record.h"
#include "control/record_tail.h"
#include "control/translate.h"

namespace {

bool SameFloat(float a, float b) {
  return (a != a && b != b) || std::memcmp(&a, &b, sizeof a) == 0;
}

void Require(bool condition) {
  if (!condition) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace joywire;
  if (size < kControlPacketSize) {
    return 0;
  }
  ControlPacket packet;
  std::memcpy(packet.bytes, data, kControlPacketSize);
  const ControlPacket original = packet;

  const TranslatedControls controls = TranslatePacket(packet);
  const std::int32_t buttons = MapButtons(controls.b1, controls.b2);
  for (const std::int32_t axis : {controls.x, controls.y, controls.z}) {
    Require(axis >= 0 && axis <= 32767);
  }
  Require(buttons == 0 || buttons == 1 || buttons == 2);
  for (std::size_t axis = 0; axis < kAxisCount; ++axis) {
    Require(SameFloat(ReadPacketValue(packet, axis), ScaleAxis(ReadPacketValue(original, axis))));
  }
  Require(std::memcmp(packet.bytes + 12, original.bytes + 12, 8) == 0);

  ReceiveBuffer buffer{};
  std::memcpy(&buffer, data, std::min(size, sizeof buffer));
  RecordTail tail{};
  const bool isRecord = ReadRecordTail(buffer, std::min(size, sizeof buffer), tail);
  Require(isRecord == (size == kLongRecordSize && std::memcmp(data + 20, "JWx1\x01", 5) == 0));
  ExtraControls extras{};  // a gamepad's other axes and hat: in range whatever the bytes
  PositionOfDatagram(buffer, std::min(size, sizeof buffer), &extras);
  for (const std::int32_t axis : extras.axes) {
    Require(axis >= 0 && axis <= 32767);
  }
  Require(extras.hat <= kHatDirections && (isRecord || extras.axes[2] == 0));

  PositionRecord record;
  ResetPositionRecord(record, 1);
  StorePosition(record, JoystickPosition{controls.x, controls.y, controls.z, buttons});
  const JoystickPosition back = ReadPosition(record);
  Require(back.x == controls.x && back.buttons == buttons);
  return 0;
}
