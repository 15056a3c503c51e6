#pragma once

#include <cstddef>

namespace joywire {

// Fills `bytes` from the operating system's secure random source. False if it cannot.
bool SecureRandomBytes(unsigned char* bytes, std::size_t count);

}  // namespace joywire
