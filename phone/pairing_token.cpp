#include "phone/pairing_token.h"

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

std::string_view QueryValue(std::string_view target, std::string_view name) {
  const std::size_t question = target.find('?');
  if (question == std::string_view::npos) {
    return {};
  }
  std::string_view query = target.substr(question + 1);
  while (!query.empty()) {
    const std::size_t end = query.find('&');
    const std::string_view pair = query.substr(0, end);
    if (pair.size() > name.size() && pair.substr(0, name.size()) == name &&
        pair[name.size()] == '=') {
      return pair.substr(name.size() + 1);
    }
    if (end == std::string_view::npos) {
      break;
    }
    query.remove_prefix(end + 1);
  }
  return {};
}

}  // namespace joywire
