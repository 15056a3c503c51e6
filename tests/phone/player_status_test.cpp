#include "phone/forward/player_status.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

namespace joywire {
namespace {

// Sixteen players' lines of 83 characters (a round trip shown), phones on players 2, 5, 9-12
// and 16: the block on terminals of several sizes.
TEST(FitPlayerLines, EveryLineFitsTheWidthAndTheBlockTheHeightPhonesFirst) {
  std::vector<PlayerLine> lines;
  for (int player = 1; player <= 16; ++player) {
    const bool phone = player == 2 || player == 5 || (player >= 9 && player <= 12) || player == 16;
    lines.push_back({"player " + std::to_string(player) + std::string(83 - 9, 'x'), phone});
  }
  const struct {
    int columns, rows;
    std::size_t lineCount;
    const char* first;  // the first line's start
    const char* last;   // the last line's start
  } cases[] = {
      {80, 24, 16, "player 1x", "player 16"},
      {40, 24, 16, "player 1x", "player 16"},
      {80, 12, 8, "player 2x", "+9 more players: all waiting for a phone"},
      {80, 11, 7, "player 2x", "+10 more players: 1 with a phone (16), 9 waiting"},
      {80, 5, 1, "+16 more players: 7 with a phone (2, 5, 9, 10, 11, 12, 16), 9 wait", ""},
  };
  for (const auto& one : cases) {
    std::istringstream block(FitPlayerLines(lines.data(), lines.size(), one.columns, one.rows));
    std::vector<std::string> shown;
    for (std::string line; std::getline(block, line);) {
      EXPECT_LT(line.size(), static_cast<std::size_t>(one.columns)) << line;
      shown.push_back(line);
    }
    ASSERT_EQ(shown.size(), one.lineCount) << one.columns << "x" << one.rows;
    EXPECT_EQ(shown.front().rfind(one.first, 0), 0u) << shown.front();
    EXPECT_EQ(shown.back().rfind(one.last, 0), 0u) << shown.back();
  }
}

}  // namespace
}  // namespace joywire
