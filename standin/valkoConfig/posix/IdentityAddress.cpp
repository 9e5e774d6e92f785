#include "IdentityAddress.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

namespace valko::standin {

bool FirstIpv4Address(std::string* address) {
  address->clear();
  ifaddrs* interfaces = nullptr;
  if (getifaddrs(&interfaces) != 0) {
    return false;
  }
  for (ifaddrs* item = interfaces; item != nullptr; item = item->ifa_next) {
    if (item->ifa_addr == nullptr || item->ifa_addr->sa_family != AF_INET ||
        (item->ifa_flags & IFF_LOOPBACK) != 0) {
      continue;
    }
    const in_addr& ipv4 = reinterpret_cast<const sockaddr_in*>(item->ifa_addr)->sin_addr;
    char text[INET_ADDRSTRLEN] = {};
    if (inet_ntop(AF_INET, &ipv4, text, sizeof(text)) != nullptr) {
      *address = text;
      break;
    }
  }
  freeifaddrs(interfaces);
  return !address->empty();
}

}  // namespace valko::standin
