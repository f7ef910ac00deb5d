#include "platform/version.h"

#include <gtest/gtest.h>

namespace {

// The Windows resource and the Linux definition come from the same number.
TEST(VersionTest, ProgramCarriesVersion2010) {
  platform::ProgramVersion version;
  ASSERT_TRUE(platform::ReadProgramVersion(version));
  EXPECT_EQ(version.major, 2);
  EXPECT_EQ(version.minor, 0);
  EXPECT_EQ(version.buildHigh, 1);
  EXPECT_EQ(version.buildLow, 0);
}

}  // namespace
