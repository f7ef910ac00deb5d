// The PC's own network addresses, for telling phones where to connect.
#pragma once

#include <string>
#include <vector>

namespace platform {

// What the system says an adapter is. kVirtual: made by software rather
// than a network card (bridges, container and virtual machine networks,
// tunnels), as far as the system tells.
enum class AdapterKind { kWireless, kEthernet, kVirtual, kOther };

struct NetworkAddress {
  std::string ipv4;         // dotted quad
  std::string adapter;      // the system's name for the adapter ("wlan0", "Wi-Fi")
  bool hasGateway = false;  // a default route leaves through this adapter
  AdapterKind kind = AdapterKind::kOther;

  bool operator==(const NetworkAddress&) const = default;
};

// Every IPv4 address of the PC's adapters that are up, loopback left out, in
// the system's order.
std::vector<NetworkAddress> LocalNetworkAddresses();

}  // namespace platform
