#include "platform/files.h"
#include "platform/file_read.h"

#include <gtest/gtest.h>

#include "tests/support/temp_folder.h"

namespace {

TEST(FilesTest, AppendCreatesThenAppends) {
  TempFolder folder;
  const std::string file = folder.File("log.txt");
  EXPECT_FALSE(platform::PathExists(file));
  ASSERT_TRUE(platform::AppendToFile(file, "one\r\n"));
  ASSERT_TRUE(platform::AppendToFile(file, std::string_view("t\0o\r\n", 5)));
  EXPECT_EQ(TempFolder::ReadAll(file), std::string("one\r\nt\0o\r\n", 10));
  EXPECT_TRUE(platform::PathExists(file));
}

TEST(FilesTest, AppendIntoMissingFolderFails) {
  TempFolder folder;
  EXPECT_FALSE(platform::AppendToFile(folder.File("no-such-folder/log.txt"), "x"));
  bool opened = true;
  EXPECT_FALSE(platform::AppendToFile(folder.File("no-such-folder/log.txt"), "x",
                                      platform::AppendSharing::kExclusive, opened));
  EXPECT_FALSE(opened);
  if (platform::PathExists("/dev/full")) {
    EXPECT_FALSE(
        platform::AppendToFile("/dev/full", "x", platform::AppendSharing::kExclusive, opened));
    EXPECT_TRUE(opened);
  }
}

TEST(FilesTest, RenameNeverReplacesAnExistingFile) {
  TempFolder folder;
  const std::string from = folder.File("from.tmp");
  const std::string to = folder.File("to.ini");
  TempFolder::WriteAll(from, "new");
  TempFolder::WriteAll(to, "old");
  EXPECT_FALSE(platform::RenameWithoutReplace(from, to));
  EXPECT_EQ(TempFolder::ReadAll(to), "old");

  ASSERT_TRUE(platform::RemoveFile(to));
  EXPECT_FALSE(platform::RemoveFile(to));
  ASSERT_TRUE(platform::RenameWithoutReplace(from, to));
  EXPECT_EQ(TempFolder::ReadAll(to), "new");
  EXPECT_FALSE(platform::PathExists(from));
}

TEST(FilesTest, PrivateFileReplacesWhatWasThere) {
  TempFolder folder;
  const std::string file = folder.File("TVXHandvane.KEY");
  TempFolder::WriteAll(file, "an older and longer text");
  ASSERT_TRUE(platform::WritePrivateFile(file, "Ab3dE6gH\n"));
  EXPECT_EQ(TempFolder::ReadAll(file), "Ab3dE6gH\n");
  // Its owner may still delete it.
  EXPECT_TRUE(platform::RemoveFile(file));
  EXPECT_FALSE(platform::WritePrivateFile(folder.File("no-such-folder/x.KEY"), "x"));
}

// A download keeps reading the file it opened while the operator renames
// it aside and puts a new one in its place.
TEST(FilesTest, FileBeingServedCanBeReplaced) {
  TempFolder folder;
  const std::string served = folder.File("video.bin");
  const std::string fresh = folder.File("video.new");
  TempFolder::WriteAll(served, "old contents");
  TempFolder::WriteAll(fresh, "new");
  platform::FileReader reader;
  ASSERT_TRUE(reader.Open(served, platform::FileOpenMode::kSharedReadWrite));

  EXPECT_TRUE(platform::RenameReplacing(served, folder.File("video.old")));
  EXPECT_TRUE(platform::RenameReplacing(fresh, served));
  char buffer[32];
  std::size_t got = 0;
  ASSERT_TRUE(reader.Read(buffer, sizeof buffer, got));
  EXPECT_EQ(std::string(buffer, got), "old contents");
  reader.Close();
  EXPECT_EQ(TempFolder::ReadAll(served), "new");
}

}  // namespace
