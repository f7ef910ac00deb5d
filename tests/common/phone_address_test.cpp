#include "common/phone_address.h"

#include <gtest/gtest.h>

namespace {

TEST(PhoneAddressTest, KeyGoesIntoTheFragmentOnlyWhenThereIsOne) {
  EXPECT_EQ(PhoneAddress("192.168.1.20", 8080, ""), "http://192.168.1.20:8080/");
  EXPECT_EQ(PhoneAddress("10.0.0.5", 65535, "a7Q2"), "http://10.0.0.5:65535/#key=a7Q2");
}

}  // namespace
