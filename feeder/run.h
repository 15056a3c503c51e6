#pragma once

#include "feeder/platform.h"

namespace joywire {

inline constexpr int kDefaultDeviceNumber = 1;
inline constexpr std::uint16_t kListenPort = 50000;
inline constexpr std::uint32_t kSettleMilliseconds = 1000;

// Exit statuses of the early ends; a run that reaches its teardown returns 0, or
// kExitNoListeningSocket when it had no socket to receive on (none made, or its bind failed),
// so that a service manager and a script see the failure.
inline constexpr int kExitUnknownStatus = -1;
inline constexpr int kExitNoListeningSocket = -2;
inline constexpr int kExitDeviceBusy = -3;
inline constexpr int kExitDeviceMissing = -4;
inline constexpr int kExitDriverNotEnabled = -5;
inline constexpr int kExitBadArgumentOrAcquire = -100;

// The whole run, from the banner to the exit status, through the platform's operations only.
int RunFeeder(int argc, const char* const* argv, const Platform& platform);

}  // namespace joywire
