#include <gtest/gtest.h>

#include <filesystem>

#include "platform/files.h"
#include "tests/support/temp_folder.h"

namespace {

// Also when the file was there before, readable by everyone.
TEST(PrivateFilePosixTest, OnlyTheOwnerMayReadIt) {
  TempFolder folder;
  const std::string file = folder.File("TVXHandvane.KEY");
  TempFolder::WriteAll(file, "old");
  std::filesystem::permissions(file, std::filesystem::perms::all);
  ASSERT_TRUE(platform::WritePrivateFile(file, "key\n"));
  EXPECT_EQ(std::filesystem::status(file).permissions(),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

}  // namespace
