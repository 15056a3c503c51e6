#pragma once

// The controller's WebSocket, plain or over TLS: joins its phone, reads each message whole (or
// refuses one too long at once) and hands it to the shared state, tells the page what it
// answers, and leaves when the connection ends.
#include <string>

#include "phone/server/net.h"
#include "phone/server/route.h"
#include "phone/server/shared_state.h"

namespace joywire::web {

// From the upgrade request an HTTP session read.
void StartWebSocketSession(SharedState& state, PlainStream&& stream, std::string peer,
                           const Request& upgrade);
void StartWebSocketSession(SharedState& state, TlsStream&& stream, std::string peer,
                           const Request& upgrade);

}  // namespace joywire::web
