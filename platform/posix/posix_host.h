#pragma once

#include "feeder/platform.h"

namespace joywire {

void InstallPosixSockets(Platform& platform);

// Where the last datagram received came from; false before the first.
bool LastSender(SocketAddressV4& address);
void InstallPosixConsole(Platform& platform);

}  // namespace joywire
