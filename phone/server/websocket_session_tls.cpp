#include "phone/server/websocket_session_stream.h"

namespace joywire::web {

void StartWebSocketSession(SharedState& state, TlsStream&& stream, std::string peer,
                           const Request& upgrade) {
  websocket_sessions::Start(state, std::move(stream), std::move(peer), upgrade);
}

}  // namespace joywire::web
