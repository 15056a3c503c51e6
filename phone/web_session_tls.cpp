// The web server's sessions on TLS connections, compiled apart from the others.
#include "phone/web_session.h"

namespace joywire::web {

void StartTlsSession(Server& server, Service service, tcp::socket&& socket) {
  std::make_shared<HttpSession<TlsStream>>(server, service, std::move(socket))->Start();
}

}  // namespace joywire::web
