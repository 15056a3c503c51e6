#pragma once

#include "feeder/platform.h"

namespace joywire {

void InstallPosixSockets(Platform& platform);
void InstallPosixConsole(Platform& platform);

}  // namespace joywire
