#include "platform/network_addresses.h"

// winsock2.h must come before the headers that pull in windows.h.
#include <winsock2.h>

#include <iphlpapi.h>
#include <ws2tcpip.h>

#include <cwchar>

namespace platform {

namespace {

std::string Utf8(const wchar_t* text) {
  if (text == nullptr || *text == L'\0') return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string result(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), size, nullptr, nullptr);
  result.resize(static_cast<std::size_t>(size - 1));
  return result;
}

// Hyper-V's switches, the host-only networks of virtual machines and VPN
// adapters present themselves as Ethernet cards; their descriptions give
// them away.
bool DescribesVirtualAdapter(const wchar_t* description) {
  if (description == nullptr) return false;
  for (const wchar_t* word : {L"Virtual", L"Host-Only", L"TAP-", L"VPN", L"Wintun", L"Loopback"}) {
    if (std::wcsstr(description, word) != nullptr) return true;
  }
  return false;
}

AdapterKind KindOf(const IP_ADAPTER_ADDRESSES& adapter) {
  if (adapter.IfType == IF_TYPE_IEEE80211) return AdapterKind::kWireless;
  if (DescribesVirtualAdapter(adapter.Description)) return AdapterKind::kVirtual;
  if (adapter.IfType == IF_TYPE_ETHERNET_CSMACD) return AdapterKind::kEthernet;
  if (adapter.IfType == IF_TYPE_TUNNEL || adapter.IfType == IF_TYPE_PROP_VIRTUAL) {
    return AdapterKind::kVirtual;
  }
  return AdapterKind::kOther;
}

}  // namespace

std::vector<NetworkAddress> LocalNetworkAddresses() {
  std::vector<NetworkAddress> addresses;
  ULONG size = 16 * 1024;
  std::vector<unsigned char> buffer(size);
  auto* adapters = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data());
  const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER |
                      GAA_FLAG_INCLUDE_GATEWAYS;
  ULONG result = GetAdaptersAddresses(AF_INET, flags, nullptr, adapters, &size);
  if (result == ERROR_BUFFER_OVERFLOW) {
    buffer.resize(size);
    adapters = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data());
    result = GetAdaptersAddresses(AF_INET, flags, nullptr, adapters, &size);
  }
  if (result != NO_ERROR) return addresses;

  for (auto* adapter = adapters; adapter != nullptr; adapter = adapter->Next) {
    if (adapter->OperStatus != IfOperStatusUp) continue;
    if (adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK) continue;
    const std::string name = Utf8(adapter->FriendlyName);
    const bool hasGateway = adapter->FirstGatewayAddress != nullptr;
    const AdapterKind kind = KindOf(*adapter);
    for (auto* unicast = adapter->FirstUnicastAddress; unicast != nullptr;
         unicast = unicast->Next) {
      const auto* address = reinterpret_cast<const sockaddr_in*>(unicast->Address.lpSockaddr);
      const auto* bytes = reinterpret_cast<const unsigned char*>(&address->sin_addr);
      if (bytes[0] == 127) continue;
      addresses.push_back({std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." +
                               std::to_string(bytes[2]) + "." + std::to_string(bytes[3]),
                           name, hasGateway, kind});
    }
  }
  return addresses;
}

}  // namespace platform
