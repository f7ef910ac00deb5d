#include "platform/network_addresses.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netinet/in.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <set>

#include "platform/posix/route_table.h"

namespace platform {

namespace {

std::string ReadText(const std::string& file) {
  std::ifstream in(file);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool Exists(const std::string& path) {
  return access(path.c_str(), F_OK) == 0;
}

// sysfs tells: a wireless adapter has wireless/ (or phy80211), one of a
// network card has device/, and an Ethernet one has type 1.
AdapterKind KindOf(const std::string& name) {
  const std::string folder = "/sys/class/net/" + name;
  if (Exists(folder + "/wireless") || Exists(folder + "/phy80211")) return AdapterKind::kWireless;
  if (!Exists(folder)) return AdapterKind::kOther;
  if (!Exists(folder + "/device")) return AdapterKind::kVirtual;
  if (std::stoi("0" + ReadText(folder + "/type")) == ARPHRD_ETHER) return AdapterKind::kEthernet;
  return AdapterKind::kOther;
}

}  // namespace

std::vector<NetworkAddress> LocalNetworkAddresses() {
  std::vector<NetworkAddress> addresses;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return addresses;
  const std::set<std::string> withGateway = DefaultRouteInterfaces(ReadText("/proc/net/route"));
  for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
    if ((entry->ifa_flags & IFF_UP) == 0 || (entry->ifa_flags & IFF_LOOPBACK) != 0) continue;
    const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
    if ((ntohl(address->sin_addr.s_addr) >> 24) == 127) continue;
    char text[INET_ADDRSTRLEN];
    if (inet_ntop(AF_INET, &address->sin_addr, text, sizeof text) == nullptr) continue;
    // An address added under a label ("eth0:1") belongs to the adapter before the colon.
    std::string name = entry->ifa_name != nullptr ? entry->ifa_name : "";
    name = name.substr(0, name.find(':'));
    addresses.push_back({text, name, withGateway.contains(name), KindOf(name)});
  }
  freeifaddrs(list);
  return addresses;
}

}  // namespace platform
