#include "address/listen_address.h"

#include <cstring>

#include "address/line_reader.h"

namespace joywire {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Groups of one to three digits separated by single dots, a trailing dot allowed. Group count
// and group values are checked after it, by IsDottedQuad.
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

// Exactly four groups, each 0 to 255, with no trailing dot and no leading zero. The socket
// layer's conversion turns anything else into another address than the one typed: 999.1.1.1
// into 255.255.255.255, 1.2.3 into 1.2.0.3, 010.0.0.1 (octal) into 8.0.0.1.
bool IsDottedQuad(const char* text, std::size_t length) {
  int groups = 0;
  std::size_t i = 0;
  while (i < length) {
    const std::size_t start = i;
    int value = 0;
    while (i < length && IsDigit(text[i])) {
      value = value * 10 + (text[i] - '0');
      ++i;
    }
    const std::size_t digits = i - start;
    if (digits == 0 || value > 255 || (digits > 1 && text[start] == '0')) {
      return false;
    }
    ++groups;
    if (i < length) {
      ++i;  // the dot the scan let through
      if (i == length) {
        return false;
      }
    }
  }
  return groups == 4;
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
  if (!ScanAddressText(line, length) || !IsDottedQuad(line, length)) {
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
