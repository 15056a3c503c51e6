#pragma once

#include <cstddef>
#include <cstdint>

namespace joywire {

// When a firewall on this machine may keep phones from reaching TCP port `port` (and the UDP
// ports from `udpPorts[0]` to `udpPorts[1]`, the data channels', unless null): one line that
// says so and gives the command that lets them in (always on Windows; on Linux when ufw or
// firewalld is active). False when there is nothing to say.
bool FirewallHint(std::uint16_t port, const std::uint16_t* udpPorts, char* line,
                  std::size_t capacity);

}  // namespace joywire
