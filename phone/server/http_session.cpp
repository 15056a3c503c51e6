#include "phone/server/http_session_stream.h"

namespace joywire::web {

void StartHttpSession(SharedState& state, Service service, tcp::socket&& socket) {
  if (state.tls != nullptr && service == Service::kController) {
    http_sessions::StartTls(state, service, std::move(socket));
  } else {
    std::make_shared<http_sessions::HttpSession<PlainStream>>(state, service, std::move(socket))
        ->Start();
  }
}

}  // namespace joywire::web
