#pragma once

#include <cstddef>

#include "address/console.h"

namespace joywire {

// Reads one line into `buffer` (capacity includes the terminator) and returns its whole length
// in bytes. A line ends at a line feed or at the end of input; a carriage return right before
// either is part of the line end and is not stored. A line longer than the buffer is read to
// its end, so its tail is never taken for the next line; the buffer then holds its first
// capacity - 1 bytes and the returned length still says how long it was.
std::size_t ReadConsoleLine(const Console& console, char* buffer, std::size_t capacity);

}  // namespace joywire
