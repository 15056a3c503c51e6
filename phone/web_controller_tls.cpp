// The controller's WebSocket on TLS connections, compiled apart from the rest.
#include "phone/web_controller_session.h"

namespace joywire::web {

void StartControllerSession(Server& server, TlsStream&& stream, std::string peer,
                            const Request& upgrade) {
  std::make_shared<ControllerSession<TlsStream>>(server, std::move(stream), std::move(peer),
                                                 upgrade.target())
      ->Accept(upgrade);
}

}  // namespace joywire::web
