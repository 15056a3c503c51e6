#include "tools/send/demo_motion.h"

#include <gtest/gtest.h>

namespace joywire {
namespace {

TEST(DemoMotion, StaysInRangeAndButtonsTakeTurns) {
  int seen[3] = {0, 0, 0};
  for (double t = 0; t < 12.0; t += 0.01) {
    float v[5];
    DemoMotion(t, v);
    for (int axis = 0; axis < 3; ++axis) {
      EXPECT_GE(v[axis], -1.0f);
      EXPECT_LE(v[axis], 1.0f);
    }
    EXPECT_FALSE(v[3] == 1.0f && v[4] == 1.0f);
    ++seen[v[3] == 1.0f ? 1 : v[4] == 1.0f ? 2 : 0];
  }
  EXPECT_GT(seen[0], 0);
  EXPECT_GT(seen[1], 0);
  EXPECT_GT(seen[2], 0);
}

}  // namespace
}  // namespace joywire
