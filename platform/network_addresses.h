// The PC's own network addresses, for telling phones where to connect.
#pragma once

#include <string>
#include <vector>

namespace platform {

// Every IPv4 address of the PC that is not a loopback address, as dotted quads.
std::vector<std::string> LocalIPv4Addresses();

}  // namespace platform
