#include "common/phone_address.h"

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <tuple>

#include "common/ascii.h"

namespace {

enum class Reach { kPrivateNetwork, kOther, kLinkLocal };

Reach ReachOf(const std::string& ipv4) {
  unsigned a = 0;
  unsigned b = 0;
  if (std::sscanf(ipv4.c_str(), "%u.%u", &a, &b) != 2) return Reach::kOther;
  if (a == 10 || (a == 172 && b >= 16 && b <= 31) || (a == 192 && b == 168)) {
    return Reach::kPrivateNetwork;
  }
  if (a == 169 && b == 254) return Reach::kLinkLocal;
  return Reach::kOther;
}

// Smaller is likelier.
auto Rank(const platform::NetworkAddress& address) {
  using platform::AdapterKind;
  const Reach reach = ReachOf(address.ipv4);
  const bool isVirtual =
      address.kind == AdapterKind::kVirtual || IsVirtualAdapterName(address.adapter);
  const bool isCard =
      address.kind == AdapterKind::kWireless || address.kind == AdapterKind::kEthernet;
  return std::make_tuple(reach == Reach::kLinkLocal, isVirtual, !address.hasGateway, !isCard,
                         reach);
}

}  // namespace

std::string PhoneAddress(const std::string& ipv4, int port, const std::string& accessKey) {
  std::string address = "http://" + ipv4 + ":" + std::to_string(port) + "/";
  if (!accessKey.empty()) address += "#key=" + accessKey;
  return address;
}

bool IsVirtualAdapterName(const std::string& adapter) {
  const std::string name = AsciiLowered(adapter);
  for (std::string_view prefix : {"docker", "br-", "veth", "virbr", "vmnet", "vboxnet"}) {
    if (name.starts_with(prefix)) return true;
  }
  // Windows names them for people: "vEthernet (WSL)", "VMware Network Adapter VMnet8",
  // "VirtualBox Host-Only Network".
  for (std::string_view part : {"vethernet", "vmnet", "vboxnet", "virtualbox", "host-only"}) {
    if (name.find(part) != std::string::npos) return true;
  }
  return false;
}

std::vector<platform::NetworkAddress> LikeliestFirst(
    std::vector<platform::NetworkAddress> addresses) {
  std::stable_sort(addresses.begin(), addresses.end(),
                   [](const platform::NetworkAddress& a, const platform::NetworkAddress& b) {
                     return Rank(a) < Rank(b);
                   });
  return addresses;
}
