#pragma once

// The phone server's run: the page and the controller's WebSocket (at /ws?token=...) or HTTPS
// requests, all through Boost.Beast and OpenSSL, on one thread.
#include <cstddef>

#include "phone/forward/forwarder.h"
#include "phone/forward/phone_events.h"
#include "phone/server/server_settings.h"

namespace joywire {

// Serves until a signal to stop (SIGINT, SIGTERM, SIGHUP, SIGQUIT; on Windows Ctrl-C,
// Ctrl-Break and the console's end), then gives every player's neutral position. Each phone's
// checked message goes to `forwarder`; what a person should know, to `events`. False, with the
// reason in `error`, when the address and port cannot be served.
bool ServeController(const WebServerSettings& settings, Forwarder& forwarder, PhoneEvents& events,
                     char* error, std::size_t errorCapacity);

}  // namespace joywire
