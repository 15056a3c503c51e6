// The controller's WebSocket on plain connections, compiled apart from the rest.
#include "phone/web_controller_session.h"

namespace joywire::web {

void StartControllerSession(Server& server, PlainStream&& stream, std::string peer,
                            const Request& upgrade) {
  std::make_shared<ControllerSession<PlainStream>>(server, std::move(stream), std::move(peer),
                                                   upgrade.target())
      ->Accept(upgrade);
}

}  // namespace joywire::web
