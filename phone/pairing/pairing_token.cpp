#include "phone/pairing/pairing_token.h"

#include "platform/secure_random.h"

namespace joywire {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

}  // namespace

bool IsPairingToken(std::string_view text) {
  return text.size() == kPairingTokenLength &&
         text.find_first_not_of(kAlphabet) == std::string_view::npos;
}

bool MakePairingToken(char (&token)[kPairingTokenLength + 1]) {
  unsigned char random[17] = {};  // 128 bits, and a zero byte to round up to whole groups of 3
  if (!SecureRandomBytes(random, 16)) {
    return false;
  }
  std::size_t out = 0;
  for (std::size_t i = 0; i < 18 && out < kPairingTokenLength; i += 3) {
    const unsigned group = (random[i] << 16) | ((i + 1 < 17 ? random[i + 1] : 0) << 8) |
                           (i + 2 < 17 ? random[i + 2] : 0);
    for (int shift = 18; shift >= 0 && out < kPairingTokenLength; shift -= 6) {
      token[out++] = kAlphabet[(group >> shift) & 0x3F];
    }
  }
  token[kPairingTokenLength] = '\0';
  return true;
}

bool TokenMatches(std::string_view given, std::string_view token) {
  unsigned difference = given.size() == token.size() ? 0u : 1u;
  for (std::size_t i = 0; i < token.size(); ++i) {
    const char other = i < given.size() ? given[i] : '\0';
    difference |= static_cast<unsigned char>(other ^ token[i]);
  }
  return difference == 0;
}

}  // namespace joywire
