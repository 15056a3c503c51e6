#include "phone/steering.h"

#include <gtest/gtest.h>

#include "phone/route.h"

namespace joywire::web {
namespace {

// Four players: 1 steered by phone "aaaaaaaa", 2 free, 3 gone 10 s ago (kept for "cccccccc"),
// 4 gone 61 s ago. Which player a phone gets.
TEST(ChoosePlayer, AKeptPlayerWaitsForItsPhoneAndOnlyAnExplicitTakeoverTakesOneInUse) {
  const auto now = SteeringClock::now();
  Seat seats[] = {{true, "aaaaaaaa", {}},
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

TEST(JoinRequestOf, TheQueryAsksMalformedPartsCountAsNotAsked) {
  const JoinRequest asked = JoinRequestOf("/ws?token=t&id=Ab-_0123456789&want=16&take=2");
  EXPECT_EQ(asked.identity, "Ab-_0123456789");
  EXPECT_EQ(asked.wanted, 16);
  EXPECT_EQ(asked.takeOver, 2);
  for (const char* target : {"/ws?id=short&want=17&take=-1", "/ws?id=has%20space1&want=1x",
                             "/ws?want=007&take=", "/ws"}) {
    const JoinRequest none = JoinRequestOf(target);
    EXPECT_TRUE(none.identity.empty() && none.wanted == 0 && none.takeOver == 0) << target;
  }
}

}  // namespace
}  // namespace joywire::web
