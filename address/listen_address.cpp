#include "address/listen_address.h"

#include <cstring>

#include "address/line_reader.h"

namespace joywire {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Groups of one to three digits separated by single dots, a trailing dot allowed. Group count
// and group values are not checked here; the socket layer's conversion has the last word.
bool ScanAddressText(const char* text, std::size_t length) {
  enum class State { kExpectDigit, kInGroup, kGroupFull };
  State state = State::kExpectDigit;
  int digits = 0;
  for (std::size_t i = 0; i < length; ++i) {
    const char c = text[i];
    switch (state) {
      case State::kExpectDigit:
        if (!IsDigit(c)) {
          return false;
        }
        digits = 1;
        state = State::kInGroup;
        break;
      case State::kInGroup:
        if (IsDigit(c)) {
          ++digits;
          state = digits == 3 ? State::kGroupFull : State::kInGroup;
        } else if (c == '.') {
          digits = 0;
          state = State::kExpectDigit;
        } else {
          return false;
        }
        break;
      case State::kGroupFull:
        if (c != '.') {
          return false;
        }
        digits = 0;
        state = State::kExpectDigit;
        break;
    }
  }
  return true;
}

}  // namespace

ListenAddress DefaultListenAddress() {
  ListenAddress address{};
  std::memcpy(address.text, kDefaultListenAddress, sizeof kDefaultListenAddress);
  return address;
}

bool ReadListenAddress(const Console& console, ListenAddress& address) {
  char line[kLineCapacity];
  const std::size_t length = ReadConsoleLine(console, line, sizeof line);
  if (length == 0) {
    Print(console, "Using hardcoded ip address\n");
    std::memcpy(address.text, kDefaultListenAddress, sizeof kDefaultListenAddress);
    return true;
  }
  if (length < kMinAddressLength || length > kMaxAddressLength) {
    Print(console, "Invalid length\n");
    return true;
  }
  if (!ScanAddressText(line, length)) {
    return false;
  }
  std::memcpy(address.text, line, length + 1);
  return true;
}

void AskListenAddress(const Console& console, ListenAddress& address) {
  Print(console,
        "Please enter valid Ipv4 adress of your machine or press enter to use default one");
  while (!ReadListenAddress(console, address)) {
    Print(console, "Input valid ip address\n");
  }
  Print(console, "IP address for connection is %s\n", address.text);
}

}  // namespace joywire
