#include "phone/server/http_session_stream.h"

namespace joywire::web::http_sessions {

void StartTls(SharedState& state, Service service, tcp::socket&& socket) {
  state.tls->NameLocalAddress(socket);
  std::make_shared<HttpSession<TlsStream>>(state, service, std::move(socket))->Start();
}

}  // namespace joywire::web::http_sessions
