#include "phone/server/steering.h"

#include <gtest/gtest.h>

namespace joywire::web {
namespace {

// Four players: 1 steered by phone "aaaaaaaa", 2 free, 3 gone 10 s ago (kept for "cccccccc"),
// 4 gone 61 s ago. Which player a phone gets.
TEST(ChoosePlayer, AKeptPlayerWaitsForItsPhoneAndOnlyAnExplicitTakeoverTakesOneInUse) {
  const auto now = SteeringClock::now();
  PlayerState seats[] = {{true, "aaaaaaaa", {}},
                         {false, "", {}},
                         {false, "cccccccc", now + kPlayerKept - std::chrono::seconds(10)},
                         {false, "dddddddd", now - std::chrono::seconds(1)}};
  const struct {
    JoinRequest request;
    int count;
    int player;
  } cases[] = {
      {{"aaaaaaaa", 0, 0}, 4, 1},  // a reload: its own, still steered by its old page
      {{"cccccccc", 0, 0}, 4, 3},  // back within the minute
      {{"dddddddd", 0, 0}, 4, 2},  // back too late: the lowest free one
      {{"eeeeeeee", 3, 0}, 4, 2},  // wants a kept one: not its own
      {{"eeeeeeee", 4, 0}, 4, 4},  // wants one that is free again (joywire-send restarted)
      {{"", 0, 1}, 4, 1},          // takes over explicitly
      {{"", 0, 0}, 1, 1},          // with one player the newest takes over
      {{"eeeeeeee", 0, 0}, 3, 2},
  };
  for (const auto& one : cases) {
    EXPECT_EQ(ChoosePlayer(seats, one.count, one.request, now), one.player)
        << one.request.identity << " want " << one.request.wanted;
  }
  seats[1].steered = true;
  EXPECT_EQ(ChoosePlayer(seats, 3, {"eeeeeeee", 0, 0}, now), 0) << "all in use";
  EXPECT_EQ(ChoosePlayer(seats, 3, {"eeeeeeee", 0, 9}, now), 0) << "no such player";
}

}  // namespace
}  // namespace joywire::web
