#include "platform/local_addresses.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cstring>
#include <initializer_list>

namespace joywire {

void ListLocalAddresses(LocalAddresses& addresses) {
  addresses.count = 0;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) {
    return;
  }
  // The machine's own addresses, then loopback: the first line is the one a phone can use.
  for (const bool loopback : {false, true}) {
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
      if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET ||
          (entry->ifa_flags & IFF_UP) == 0 ||
          ((entry->ifa_flags & IFF_LOOPBACK) != 0) != loopback ||
          addresses.count == kMaxLocalAddresses) {
        continue;
      }
      sockaddr_in address;
      std::memcpy(&address, entry->ifa_addr, sizeof address);
      char text[16] = {};
      if (inet_ntop(AF_INET, &address.sin_addr, text, sizeof text) == nullptr) {
        continue;
      }
      AddLocalAddress(addresses, text);
    }
  }
  freeifaddrs(list);
}

std::string LocalNetworkName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) {
    return {};
  }
  return LocalNetworkNameOf(name);
}

}  // namespace joywire
