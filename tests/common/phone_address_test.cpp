#include "common/phone_address.h"

#include <gtest/gtest.h>

namespace {

using platform::AdapterKind;
using platform::NetworkAddress;

TEST(PhoneAddressTest, KeyGoesIntoTheFragmentOnlyWhenThereIsOne) {
  EXPECT_EQ(PhoneAddress("192.168.1.20", 8080, ""), "http://192.168.1.20:8080/");
  EXPECT_EQ(PhoneAddress("10.0.0.5", 65535, "a7Q2"), "http://10.0.0.5:65535/#key=a7Q2");
}

TEST(PhoneAddressTest, ContainerAndVirtualMachineNetworksAreKnownByName) {
  for (const char* name :
       {"docker0", "br-5e1f0a9c2b7d", "veth3a9f2c1", "virbr0", "vmnet8", "vboxnet0",
        "vEthernet (WSL)", "VMware Network Adapter VMnet1", "VirtualBox Host-Only Network"})
    EXPECT_TRUE(IsVirtualAdapterName(name)) << name;
  for (const char* name :
       {"eth0", "enp3s0", "wlp2s0", "Wi-Fi", "Ethernet 2", "Local Area Connection", ""})
    EXPECT_FALSE(IsVirtualAdapterName(name)) << name;
}

struct OrderCase {
  const char* machine;
  std::vector<NetworkAddress> system;  // as the system lists them
  std::vector<std::string> expected;   // the likeliest first
};

std::vector<std::string> Order(const std::vector<NetworkAddress>& addresses) {
  std::vector<std::string> order;
  for (const NetworkAddress& address : LikeliestFirst(addresses)) order.push_back(address.ipv4);
  return order;
}

// PCs as teachers have them: the classroom's network must come first,
// whatever else the PC carries and in whichever order the system lists it.
TEST(PhoneAddressTest, TheClassroomNetworkComesFirst) {
  using enum AdapterKind;
  const std::vector<OrderCase> cases = {
      {"Docker's bridge, known by its name alone",
       {{"172.17.0.1", "docker0", true, kEthernet}, {"192.168.1.20", "wlan0", true, kWireless}},
       {"192.168.1.20", "172.17.0.1"}},
      {"Hyper-V's external switch carries the card's network",
       {{"172.22.16.1", "vEthernet (WSL)", false, kEthernet},
        {"10.4.0.33", "vEthernet (External)", true, kEthernet}},
       {"10.4.0.33", "172.22.16.1"}},
      {"a VPN that takes the default route",
       {{"10.8.0.2", "tun0", true, kVirtual}, {"192.168.1.20", "eth0", true, kEthernet}},
       {"192.168.1.20", "10.8.0.2"}},
      {"a dial-up link beside the school's Ethernet",
       {{"100.64.1.2", "ppp0", true, kOther}, {"192.168.1.20", "eth0", true, kEthernet}},
       {"192.168.1.20", "100.64.1.2"}},
      {"a card without a gateway beside the Wi-Fi",
       {{"192.168.0.5", "eth0", false, kEthernet}, {"10.0.0.7", "wlan0", true, kWireless}},
       {"10.0.0.7", "192.168.0.5"}},
      {"two cards with gateways keep the system's order",
       {{"192.168.1.30", "Ethernet", true, kEthernet}, {"192.168.1.20", "Wi-Fi", true, kWireless}},
       {"192.168.1.30", "192.168.1.20"}},
      {"link-local last, after a container network",
       {{"169.254.7.1", "eth0", false, kEthernet}, {"172.17.0.1", "docker0", false, kVirtual}},
       {"172.17.0.1", "169.254.7.1"}},
      {"the private ranges before others where nothing else tells",
       {{"169.254.7.1", "a", false, kOther},
        {"100.71.3.9", "b", false, kOther},
        {"172.32.0.1", "c", false, kOther},
        {"192.168.1.20", "d", false, kOther},
        {"172.31.0.1", "e", false, kOther},
        {"10.0.0.5", "f", false, kOther}},
       {"192.168.1.20", "172.31.0.1", "10.0.0.5", "100.71.3.9", "172.32.0.1", "169.254.7.1"}},
      {"no network", {}, {}},
  };
  for (const OrderCase& c : cases) EXPECT_EQ(Order(c.system), c.expected) << c.machine;
}

// The system's own list: every address named by its adapter, none of them
// the loopback address that no phone can reach.
TEST(PhoneAddressTest, TheSystemsAddressesAreNamedAndNoneIsLoopback) {
  for (const NetworkAddress& address : platform::LocalNetworkAddresses()) {
    EXPECT_NE(address.ipv4.rfind("127.", 0), 0u) << address.ipv4;
    EXPECT_FALSE(address.adapter.empty()) << address.ipv4;
  }
}

}  // namespace
