#include "platform/local_addresses.h"

#include <winsock2.h>
// After winsock2.h, which they need.
#include <iphlpapi.h>
#include <ws2tcpip.h>

#include <cstring>
#include <initializer_list>

namespace joywire {

void ListLocalAddresses(LocalAddresses& addresses) {
  addresses.count = 0;
  static unsigned char buffer[64 * 1024];  // the adapter list; 15 KB is Microsoft's advice
  ULONG size = sizeof buffer;
  auto* adapters = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer);
  constexpr ULONG kWhat =
      GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
  if (GetAdaptersAddresses(AF_INET, kWhat, nullptr, adapters, &size) != NO_ERROR) {
    return;
  }
  // The machine's own addresses, then loopback: the first line is the one a phone can use.
  for (const bool loopback : {false, true}) {
    for (const IP_ADAPTER_ADDRESSES* adapter = adapters; adapter != nullptr;
         adapter = adapter->Next) {
      if (adapter->OperStatus != IfOperStatusUp ||
          (adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK) != loopback) {
        continue;
      }
      for (const IP_ADAPTER_UNICAST_ADDRESS* unicast = adapter->FirstUnicastAddress;
           unicast != nullptr && addresses.count < kMaxLocalAddresses; unicast = unicast->Next) {
        if (unicast->Address.lpSockaddr->sa_family != AF_INET) {
          continue;
        }
        sockaddr_in address;
        std::memcpy(&address, unicast->Address.lpSockaddr, sizeof address);
        char text[16] = {};
        if (inet_ntop(AF_INET, &address.sin_addr, text, sizeof text) == nullptr) {
          continue;
        }
        AddLocalAddress(addresses, text);
      }
    }
  }
}

std::string LocalNetworkName() {
  char name[256] = {};
  DWORD size = sizeof name;
  if (!GetComputerNameExA(ComputerNameDnsHostname, name, &size)) {
    return {};
  }
  return LocalNetworkNameOf(name);
}

}  // namespace joywire
