#include <gtest/gtest.h>

#include <cstring>

#include "feeder/wide_text.h"

namespace joywire {
namespace {

TEST(WideText, ConvertsEveryPlaneToUtf8) {
  char out[64];
  WideToUtf8(L"A\u00e9\u20ac\U0001F3AE", out, sizeof out);
  EXPECT_STREQ(out, "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xAE");
}

TEST(WideText, NullStringIsEmpty) {
  char out[8] = "junk";
  WideToUtf8(nullptr, out, sizeof out);
  EXPECT_STREQ(out, "");
}

TEST(WideText, CutsAtACharacterBoundaryWhenFull) {
  char out[6];
  std::memset(out, 'Z', sizeof out);
  WideToUtf8(L"ab\u20acc", out, sizeof out);  // "ab" + 3 bytes would need 6 with the terminator
  EXPECT_STREQ(out, "ab\xE2\x82\xAC");
  char tiny[4];
  WideToUtf8(L"ab\u20ac", tiny, sizeof tiny);
  EXPECT_STREQ(tiny, "ab");
}

TEST(WideText, LoneSurrogatesBecomeReplacementCharacters) {
  char out[16];
  const wchar_t lone[] = {static_cast<wchar_t>(0xD800), L'x', 0};
  WideToUtf8(lone, out, sizeof out);
  EXPECT_STREQ(out, "\xEF\xBF\xBDx");
}

}  // namespace
}  // namespace joywire
