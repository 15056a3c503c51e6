#pragma once

#include "feeder/platform.h"

namespace joywire {

void InstallWinsock(Platform& platform);
void InstallWindowsConsole(Platform& platform);

}  // namespace joywire
