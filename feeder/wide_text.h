#pragma once

#include <cstddef>

namespace joywire {

// Converts a wide string (UTF-16 where wchar_t is 16 bits, UTF-32 elsewhere) to UTF-8 in
// `out`, cut at a character boundary when it does not fit. A null string gives "". Invalid
// code units become U+FFFD.
void WideToUtf8(const wchar_t* text, char* out, std::size_t capacity);

}  // namespace joywire
