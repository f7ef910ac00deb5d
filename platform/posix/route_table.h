// The kernel's IPv4 routing table as /proc/net/route shows it.
#pragma once

#include <set>
#include <string>
#include <string_view>

namespace platform {

// The interfaces that a default route (destination and mask 0) leaves
// through, from the text of /proc/net/route.
std::set<std::string> DefaultRouteInterfaces(std::string_view routeTable);

}  // namespace platform
