#pragma once

namespace joywire {

// The most phones that steer a device each at once (--players).
inline constexpr int kMaxPlayers = 16;

}  // namespace joywire
