#pragma once

#include <string>

namespace joywire {

// The QR code of `text` as terminal lines: two rows of modules to a line in half blocks, dark
// modules black on explicitly white light ones (readable on dark and light themes alike), with
// a quiet zone around. A short address fits in about 20 lines. Empty if it cannot be encoded.
std::string QrCodeLines(const char* text);

}  // namespace joywire
