#include "platform/firewall_hint.h"

#include <cstdio>

namespace joywire {

// (No data channels on Windows: `udpPorts` is not named.)
bool FirewallHint(std::uint16_t port, const std::uint16_t*, char* line, std::size_t capacity) {
  const unsigned number = port;
  std::snprintf(line, capacity,
                "Windows Firewall may be blocking TCP port %u; to let phones in, run in an "
                "administrator console: netsh advfirewall firewall add rule name=\"joywire-send\" "
                "dir=in action=allow protocol=TCP localport=%u",
                number, number);
  return true;
}

}  // namespace joywire
