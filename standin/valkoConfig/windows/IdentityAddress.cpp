#include "IdentityAddress.h"

#include <winsock2.h>
// after winsock2.h
#include <iphlpapi.h>
#include <ws2tcpip.h>

#include <vector>

namespace valko::standin {

bool FirstIpv4Address(std::string* address) {
  address->clear();
  ULONG size = 16 * 1024;
  std::vector<unsigned char> buffer;
  ULONG result = ERROR_BUFFER_OVERFLOW;
  for (int attempt = 0; attempt < 3 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
    buffer.resize(size);
    result = ::GetAdaptersAddresses(
        AF_INET, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER,
        nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
  }
  if (result != NO_ERROR) {
    return false;
  }
  for (auto* adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data());
       adapter != nullptr && address->empty(); adapter = adapter->Next) {
    if (adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK) {
      continue;
    }
    for (auto* unicast = adapter->FirstUnicastAddress; unicast != nullptr;
         unicast = unicast->Next) {
      const sockaddr* socketAddress = unicast->Address.lpSockaddr;
      if (socketAddress == nullptr || socketAddress->sa_family != AF_INET) {
        continue;
      }
      const auto* ipv4 = reinterpret_cast<const sockaddr_in*>(socketAddress);
      const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&ipv4->sin_addr);
      if (bytes[0] == 127) {
        continue;
      }
      *address = std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." +
                 std::to_string(bytes[2]) + "." + std::to_string(bytes[3]);
      break;
    }
  }
  return !address->empty();
}

}  // namespace valko::standin
