#pragma once

#include <cstddef>

#include "address/console.h"

namespace joywire {

// Used when the operator answers the prompt with an empty line.
inline constexpr char kDefaultListenAddress[] = "192.168.1.100";

inline constexpr std::size_t kListenAddressCapacity = 16;  // 15 characters and the terminator
inline constexpr std::size_t kLineCapacity = 30;           // 29 characters and the terminator
inline constexpr std::size_t kMinAddressLength = 7;
inline constexpr std::size_t kMaxAddressLength = 15;

// The working address: dotted-decimal text that the run converts and binds to.
struct ListenAddress {
  char text[kListenAddressCapacity];
};

// A working address that holds the default, as it does before the dialogue.
ListenAddress DefaultListenAddress();

// Reads and decides on one line: true ends the dialogue, false asks for another line.
bool ReadListenAddress(const Console& console, ListenAddress& address);

// The whole dialogue: the prompt, lines until one is taken, then the confirmation line.
void AskListenAddress(const Console& console, ListenAddress& address);

}  // namespace joywire
