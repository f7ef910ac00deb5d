// The address a phone opens to reach the server's page: every address the
// programs show or encode is formed here, so that they all agree on it.
#pragma once

#include <string>
#include <vector>

#include "platform/network_addresses.h"

// "http://A.B.C.D:PORT/", and "http://A.B.C.D:PORT/#key=KEY" when accessKey
// is not empty (the page takes the key from the fragment, which the browser
// never sends to the server).
std::string PhoneAddress(const std::string& ipv4, int port, const std::string& accessKey);

// Whether an adapter's name is one that container and virtual machine
// software give the networks it makes on the PC: docker*, br-*, veth*,
// virbr*, vmnet*, vboxnet*, Windows' "vEthernet (...)" (any letter case).
bool IsVirtualAdapterName(const std::string& adapter);

// The PC's addresses with the one phones most likely reach first. In order,
// each rule counting only where the ones before it tie:
//   - link-local addresses (169.254/16, which a PC gives itself when no
//     network answered) last;
//   - virtual adapters (by kind or by name) after the others;
//   - adapters with a default gateway before those without;
//   - wireless and Ethernet before other kinds;
//   - the private ranges of home and school networks (10/8, 172.16/12,
//     192.168/16) before other addresses.
// The system's order holds within each.
std::vector<platform::NetworkAddress> LikeliestFirst(
    std::vector<platform::NetworkAddress> addresses);
