#pragma once

// A connection's HTTP session, plain or over TLS: reads requests and answers them as the route
// says, hands a controller's request to the shared state, and a WebSocket upgrade on to the
// controller's WebSocket session.
#include "phone/server/net.h"
#include "phone/server/route.h"
#include "phone/server/shared_state.h"

namespace joywire::web {

void StartHttpSession(SharedState& state, Service service, tcp::socket&& socket);

}  // namespace joywire::web
