#include "common/phone_address.h"

#include <gtest/gtest.h>

namespace {

TEST(PhoneAddressTest, KeyGoesIntoTheFragmentOnlyWhenThereIsOne) {
  EXPECT_EQ(PhoneAddress("192.168.1.20", 8080, ""), "http://192.168.1.20:8080/");
  EXPECT_EQ(PhoneAddress("10.0.0.5", 65535, "a7Q2"), "http://10.0.0.5:65535/#key=a7Q2");
}

// A PC that also has a virtual machine's or a VPN's adapter, or one that gave
// itself a link-local address, still shows the classroom network first.
TEST(PhoneAddressTest, ThePrivateNetworkComesFirstAndLinkLocalLast) {
  EXPECT_EQ(LikeliestFirst({"169.254.7.1", "100.71.3.9", "192.168.1.20", "10.0.0.5"}),
            (std::vector<std::string>{"192.168.1.20", "10.0.0.5", "100.71.3.9", "169.254.7.1"}));
  EXPECT_EQ(LikeliestFirst({"172.32.0.1", "172.31.0.1", "172.16.0.1"}),
            (std::vector<std::string>{"172.31.0.1", "172.16.0.1", "172.32.0.1"}));
}

}  // namespace
