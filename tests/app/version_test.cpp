#include "platform/version.h"

#include <gtest/gtest.h>

namespace {

// The Windows resource and the Linux definition both come from the version
// of the project.
TEST(VersionTest, ProgramCarriesTheProjectVersion) {
  platform::ProgramVersion version;
  ASSERT_TRUE(platform::ReadProgramVersion(version));
  EXPECT_EQ(version.major, TVX_VERSION_MAJOR);
  EXPECT_EQ(version.minor, TVX_VERSION_MINOR);
  EXPECT_EQ(version.buildHigh, TVX_VERSION_PATCH);
  EXPECT_EQ(version.buildLow, TVX_VERSION_TWEAK);
}

}  // namespace
