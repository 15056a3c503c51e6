#include "address/line_reader.h"

namespace joywire {

namespace {

void Append(char* buffer, std::size_t capacity, std::size_t& length, char byte) {
  if (length + 1 < capacity) {
    buffer[length] = byte;
  }
  ++length;
}

}  // namespace

std::size_t ReadConsoleLine(const Console& console, char* buffer, std::size_t capacity) {
  std::size_t length = 0;
  bool pendingCarriageReturn = false;
  for (int next = console.ReadChar(); next != kEndOfInput && next != '\n';
       next = console.ReadChar()) {
    if (pendingCarriageReturn) {
      Append(buffer, capacity, length, '\r');
      pendingCarriageReturn = false;
    }
    if (next == '\r') {
      pendingCarriageReturn = true;
    } else {
      Append(buffer, capacity, length, static_cast<char>(next));
    }
  }
  if (capacity > 0) {
    buffer[length < capacity ? length : capacity - 1] = '\0';
  }
  return length;
}

}  // namespace joywire
