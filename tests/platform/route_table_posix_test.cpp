#include "platform/posix/route_table.h"

#include <gtest/gtest.h>

namespace {

// /proc/net/route of a laptop on Wi-Fi with Docker and a VPN's split routes:
// only the routes to 0.0.0.0/0 that are up count.
TEST(RouteTableTest, DefaultRoutesNameTheirInterfaces) {
  const char* table =
      "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
      "wlp2s0\t00000000\t0101A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
      "wlp2s0\t0001A8C0\t00000000\t0001\t0\t0\t600\t00FFFFFF\t0\t0\t0\n"
      "docker0\t000011AC\t00000000\t0001\t0\t0\t0\t0000FFFF\t0\t0\t0\n"
      "tun0\t00000000\t00000000\t0001\t0\t0\t50\t00000080\t0\t0\t0\n"
      "eth1\t00000000\t0100000A\t0002\t0\t0\t100\t00000000\t0\t0\t0\n"
      "broken\n";
  EXPECT_EQ(platform::DefaultRouteInterfaces(table), std::set<std::string>{"wlp2s0"});
  EXPECT_TRUE(platform::DefaultRouteInterfaces("").empty());
}

}  // namespace
