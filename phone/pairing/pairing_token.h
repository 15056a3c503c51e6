#pragma once

#include <cstddef>
#include <string_view>

namespace joywire {

// The token that pairs a phone with joywire-send: 128 bits from the operating system's secure
// random source, as 22 URL-safe characters (base64url without padding). Kept between starts.
inline constexpr std::size_t kPairingTokenLength = 22;

// Writes the token and its terminator to `token`. False when no secure randomness is at hand.
bool MakePairingToken(char (&token)[kPairingTokenLength + 1]);

// Whether `text` has a token's form: 22 characters of its alphabet.
bool IsPairingToken(std::string_view text);

// Compares in time that does not depend on where the two differ.
bool TokenMatches(std::string_view given, std::string_view token);

}  // namespace joywire
