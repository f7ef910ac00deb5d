#include "platform/posix/route_table.h"

#include <sstream>

namespace platform {

// Columns: Iface Destination Gateway Flags RefCnt Use Metric Mask ..., the
// addresses in hexadecimal; the first line names the columns.
std::set<std::string> DefaultRouteInterfaces(std::string_view routeTable) {
  std::set<std::string> interfaces;
  std::istringstream lines{std::string(routeTable)};
  std::string line;
  std::getline(lines, line);
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string name, destination, gateway, flags, references, use, metric, mask;
    if (!(fields >> name >> destination >> gateway >> flags >> references >> use >> metric >>
          mask)) {
      continue;
    }
    constexpr unsigned long kRouteUp = 0x1;
    unsigned long flagBits = 0;
    try {
      flagBits = std::stoul(flags, nullptr, 16);
    } catch (const std::exception&) {
      continue;
    }
    if (destination == "00000000" && mask == "00000000" && (flagBits & kRouteUp) != 0) {
      interfaces.insert(name);
    }
  }
  return interfaces;
}

}  // namespace platform
