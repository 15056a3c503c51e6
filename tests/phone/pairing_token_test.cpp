#include <gtest/gtest.h>

#include <string>

#include "phone/pairing/pairing_token.h"
#include "phone/server/query_value.h"

namespace joywire {
namespace {

TEST(PairingToken, NewAndUrlSafeEachTimeAndComparedWhole) {
  char first[kPairingTokenLength + 1];
  char second[kPairingTokenLength + 1];
  ASSERT_TRUE(MakePairingToken(first));
  ASSERT_TRUE(MakePairingToken(second));
  EXPECT_EQ(std::string(first).size(), 22u);
  EXPECT_EQ(std::string(first).find_first_not_of(
                "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"),
            std::string::npos);
  EXPECT_STRNE(first, second);
  EXPECT_TRUE(IsPairingToken(first));
  EXPECT_FALSE(IsPairingToken(std::string(first).substr(1)) ||
               IsPairingToken("aaaaaaaaaaaaaaaaaaaaa/"));
  EXPECT_TRUE(TokenMatches(first, first));
  EXPECT_FALSE(TokenMatches(std::string(first).substr(0, 21), first));
  EXPECT_FALSE(TokenMatches(std::string(first) + "x", first));
  EXPECT_FALSE(TokenMatches("", first));
  EXPECT_EQ(QueryValue("/ws?a=1&token=abc&b=2", "token"), "abc");
  EXPECT_EQ(QueryValue("/ws?tokens=abc", "token"), "");
  EXPECT_EQ(QueryValue("/ws", "token"), "");
}

}  // namespace
}  // namespace joywire
