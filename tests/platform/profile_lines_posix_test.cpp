// The Linux backend's INI writes. On Windows the system's own profile
// functions edit the file; wine, which runs the Windows tests here, rewrites
// it whole, so this table is the Linux backend's alone.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/profile.h"
#include "tests/support/temp_folder.h"

namespace {

// A write touches only its own key's line: comments, blank lines, order,
// spacing and line ends of everything else stay byte for byte.
TEST(ProfileWrite, ChangesOnlyThatKeysLine) {
  TempFolder folder;
  const std::string ini = folder.File("Test.INI");
  struct Case {
    const char* section;
    const char* key;
    const char* before;
    const char* after;
  };
  const Case cases[] = {
      // The value changes in place; comment, spacing, blank line and CR LF stay.
      {"Control", "Port",
       "; settings\r\n"
       "[General]\r\n"
       "Log = TRUE\r\n"
       "\r\n"
       "[Control]\r\n"
       "Port=8080\r\n"
       "SelectedPointer=3\r\n",
       "; settings\r\n"
       "[General]\r\n"
       "Log = TRUE\r\n"
       "\r\n"
       "[Control]\r\n"
       "Port=9090\r\n"
       "SelectedPointer=3\r\n"},
      // Names match in any case; the file's spelling and its LF line ends stay.
      {"control", "PORT", "[Control]\nPort=8080\n; the end\n", "[Control]\nPort=9090\n; the end\n"},
      // A new key goes after the section's last entry, before its blank lines.
      {"Control", "Port",
       "[General]\r\nLog=TRUE\r\n\r\n[Control]\r\nSelectedPointer=3\r\n\r\n[Paths]\r\n",
       "[General]\r\nLog=TRUE\r\n\r\n[Control]\r\nSelectedPointer=3\r\nPort=9090\r\n\r\n[Paths]"
       "\r\n"},
      // A new section goes at the end.
      {"Control", "Port", "[General]\r\nLog=TRUE",
       "[General]\r\nLog=TRUE\r\n[Control]\r\nPort=9090\r\n"},
  };

  for (const Case& test : cases) {
    TempFolder::WriteAll(ini, test.before);
    ASSERT_TRUE(platform::ProfileWriteString(ini, test.section, test.key, "9090"));
    EXPECT_EQ(TempFolder::ReadAll(ini), test.after) << test.before;
  }
}

// 0 when a write larger than the limit fails as too large.
int WriteUnderAFileSizeLimit(const std::string& ini) {
  std::signal(SIGXFSZ, SIG_IGN);
  const rlimit limit{32, 32};
  setrlimit(RLIMIT_FSIZE, &limit);
  const std::string value(100, '7');
  const platform::Result written =
      platform::ProfileWriteString(ini, "Control", "SelectedPointer", value.c_str());
  return !written && written.Code() == EFBIG ? 0 : 1;
}

// A write that cannot be completed (a file size limit here, a full disk
// alike) fails with the system's reason and leaves the old file whole and
// nothing beside it.
TEST(ProfileWrite, AWriteThatCannotCompleteKeepsTheOldFile) {
  TempFolder folder;
  const std::string ini = folder.File("Test.INI");
  const std::string before = "[Control]\r\nPort=8080\r\nSelectedPointer=3\r\n";
  TempFolder::WriteAll(ini, before);
  EXPECT_EXIT(std::_Exit(WriteUnderAFileSizeLimit(ini)), testing::ExitedWithCode(0), "");
  EXPECT_EQ(TempFolder::ReadAll(ini), before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()), {}), 1);
}

// A FIFO where the file goes neither holds the reader or the writer nor is
// replaced: the reads find nothing and the write is refused.
TEST(ProfileWrite, AFifoWhereTheFileGoesIsRefusedAtOnce) {
  TempFolder folder;
  const std::string fifo = folder.File("TVXHDVMemory.INI");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(platform::ProfileReadString(fifo, "Memory", "CreatorProcessID", "", 360), "");
  std::string value;
  EXPECT_EQ(platform::ProfileReadRequired(fifo, "Memory", "SharedMemoryName", 260, value).Code(),
            EINVAL);
  EXPECT_EQ(platform::ProfileWriteString(fifo, "Memory", "SharedMemoryName", "x").Code(), EINVAL);
  struct stat info {};
  ASSERT_EQ(lstat(fifo.c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

// Replacing the file must not get round its mode: a read-only INI stays as
// it is, as it would were it written in place (also for root).
TEST(ProfileWrite, AReadOnlyFileIsLeftAsItIs) {
  TempFolder folder;
  const std::string ini = folder.File("TVXHandvane.INI");
  TempFolder::WriteAll(ini, "[Control]\r\nPort=8080\r\n");
  ASSERT_EQ(chmod(ini.c_str(), 0444), 0);
  EXPECT_EQ(platform::ProfileWriteString(ini, "Control", "Port", "9090").Code(), EACCES);
  EXPECT_EQ(TempFolder::ReadAll(ini), "[Control]\r\nPort=8080\r\n");
}

}  // namespace
