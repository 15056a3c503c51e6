// The web server's sessions on plain connections, compiled apart from the others.
#include "phone/web_session.h"

namespace joywire::web {

void StartPlainSession(Server& server, Service service, tcp::socket&& socket) {
  std::make_shared<HttpSession<PlainStream>>(server, service, std::move(socket))->Start();
}

}  // namespace joywire::web
