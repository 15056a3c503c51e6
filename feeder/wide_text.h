#pragma once

#include <cstddef>

#include "address/console.h"

namespace joywire {

// Wide strings (UTF-16 where wchar_t is 16 bits, UTF-32 elsewhere) as UTF-8. A null string
// gives "". Invalid code units become U+FFFD.

// Into `out`, cut at a character boundary when it does not fit.
void WideToUtf8(const wchar_t* text, char* out, std::size_t capacity);

// Through a console writer, whole, however long.
void PutWideText(ConsoleWriter& writer, const wchar_t* text);

}  // namespace joywire
