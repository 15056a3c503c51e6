#include "platform/firewall_hint.h"

#include <dirent.h>

#include <cstdio>
#include <cstring>

namespace joywire {

namespace {

// ufw keeps its on-or-off state in its configuration file.
bool UfwEnabled() {
  std::FILE* file = std::fopen("/etc/ufw/ufw.conf", "r");
  if (file == nullptr) {
    return false;
  }
  char line[256];
  bool enabled = false;
  while (std::fgets(line, sizeof line, file) != nullptr) {
    enabled = enabled || std::strncmp(line, "ENABLED=yes", 11) == 0;
  }
  std::fclose(file);
  return enabled;
}

// firewalld is a daemon: running means active.
bool FirewalldRunning() {
  DIR* processes = opendir("/proc");
  if (processes == nullptr) {
    return false;
  }
  bool running = false;
  while (const dirent* entry = readdir(processes)) {
    char path[300];
    std::snprintf(path, sizeof path, "/proc/%s/comm", entry->d_name);
    if (std::FILE* file = std::fopen(path, "r")) {
      char name[32] = "";
      running = running || (std::fgets(name, sizeof name, file) != nullptr &&
                            std::strcmp(name, "firewalld\n") == 0);
      std::fclose(file);
    }
  }
  closedir(processes);
  return running;
}

}  // namespace

bool FirewallHint(std::uint16_t port, const std::uint16_t* udpPorts, char* line,
                  std::size_t capacity) {
  const unsigned number = port;
  const unsigned first = udpPorts != nullptr ? udpPorts[0] : 0;
  const unsigned last = udpPorts != nullptr ? udpPorts[1] : 0;
  char ports[64] = "";
  char allow[96] = "";
  if (UfwEnabled()) {
    if (udpPorts != nullptr) {
      std::snprintf(ports, sizeof ports, " and UDP ports %u-%u", first, last);
      std::snprintf(allow, sizeof allow, " && sudo ufw allow %u:%u/udp", first, last);
    }
    std::snprintf(line, capacity,
                  "ufw may be blocking TCP port %u%s; to let phones in: sudo ufw allow %u/tcp%s",
                  number, ports, number, allow);
    return true;
  }
  if (FirewalldRunning()) {
    if (udpPorts != nullptr) {
      std::snprintf(ports, sizeof ports, " and UDP ports %u-%u", first, last);
      std::snprintf(allow, sizeof allow, " --add-port=%u-%u/udp", first, last);
    }
    std::snprintf(line, capacity,
                  "firewalld may be blocking TCP port %u%s; to let phones in: sudo firewall-cmd "
                  "--add-port=%u/tcp%s",
                  number, ports, number, allow);
    return true;
  }
  return false;
}

}  // namespace joywire
