#include "tools/send/demo_motion.h"

#include <cmath>

namespace joywire {

void DemoMotion(double seconds, float values[5]) {
  constexpr double kPeriod = 4.0;
  constexpr double kTwoPi = 6.283185307179586;
  const double phase = std::fmod(seconds, kPeriod) / kPeriod;
  values[0] = static_cast<float>(std::cos(kTwoPi * phase));
  values[1] = static_cast<float>(std::sin(kTwoPi * phase));
  values[2] = static_cast<float>(-1.0 + 2.0 * phase);
  const int turn = static_cast<int>(std::fmod(seconds, 3.0));
  values[3] = turn == 1 ? 1.0f : 0.0f;
  values[4] = turn == 2 ? 1.0f : 0.0f;
}

}  // namespace joywire
