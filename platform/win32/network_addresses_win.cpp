#include "platform/network_addresses.h"

// winsock2.h must come before the headers that pull in windows.h.
#include <winsock2.h>

#include <iphlpapi.h>
#include <ws2tcpip.h>

namespace platform {

std::vector<std::string> LocalIPv4Addresses() {
  std::vector<std::string> addresses;
  ULONG size = 16 * 1024;
  std::vector<unsigned char> buffer(size);
  auto* adapters = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data());
  const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
  ULONG result = GetAdaptersAddresses(AF_INET, flags, nullptr, adapters, &size);
  if (result == ERROR_BUFFER_OVERFLOW) {
    buffer.resize(size);
    adapters = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data());
    result = GetAdaptersAddresses(AF_INET, flags, nullptr, adapters, &size);
  }
  if (result != NO_ERROR) return addresses;

  for (auto* adapter = adapters; adapter != nullptr; adapter = adapter->Next) {
    if (adapter->OperStatus != IfOperStatusUp) continue;
    for (auto* unicast = adapter->FirstUnicastAddress; unicast != nullptr;
         unicast = unicast->Next) {
      const auto* address = reinterpret_cast<const sockaddr_in*>(unicast->Address.lpSockaddr);
      const auto* bytes = reinterpret_cast<const unsigned char*>(&address->sin_addr);
      if (bytes[0] == 127) continue;
      addresses.push_back(std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." +
                          std::to_string(bytes[2]) + "." + std::to_string(bytes[3]));
    }
  }
  return addresses;
}

}  // namespace platform
