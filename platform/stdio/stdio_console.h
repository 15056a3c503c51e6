#pragma once

#include <cstddef>

namespace joywire {

// Standard input and output through the C library, shared by the hosts' consoles.
int StdinReadChar();                                     // a byte, or kEndOfInput
void StdoutWrite(const char* text, std::size_t length);  // written and flushed at once

}  // namespace joywire
