#include <gtest/gtest.h>

#include <algorithm>

#if defined(__linux__)
#include <sys/resource.h>
#endif

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "tests/support/temp_folder.h"

namespace {

TEST(SystemFactsTest, ProgramFileIsThisTestBinary) {
  const std::string path = platform::ProgramFilePath();
  ASSERT_FALSE(path.empty());
  EXPECT_NE(path.find("platform_tests"), std::string::npos) << path;
  EXPECT_TRUE(platform::PathExists(path));
}

TEST(SystemFactsTest, SystemFoldersExist) {
  EXPECT_TRUE(platform::PathExists(platform::ProfileFolder()));
  EXPECT_TRUE(platform::PathExists(platform::SystemLogFolder()));
  EXPECT_NE(platform::ProcessId(), 0u);
}

// Per-user files fall back to a folder of the user's own when the system's
// folder takes no file (a standard user and the Windows directory).
TEST(SystemFactsTest, PerUserFilesGoWhereAFileCanBeCreated) {
  TempFolder folder;
  const std::string fallback = folder.File("user");
  EXPECT_EQ(platform::FirstWritableFolder(folder.Path(), fallback), folder.Path());
  EXPECT_FALSE(platform::PathExists(fallback));

  TempFolder::WriteAll(folder.File("plain"), "a file, so no folder can lie below it");
  const std::string unwritable = folder.File("plain") + platform::PathSeparator() + "sub";
  EXPECT_EQ(platform::FirstWritableFolder(unwritable, fallback), fallback);
  EXPECT_TRUE(platform::PathExists(fallback));
  EXPECT_EQ(platform::FirstWritableFolder(unwritable, folder.File("plain")), "");
}

TEST(SystemFactsTest, CalendarTimesAreInRange) {
  for (const platform::CalendarTime& time : {platform::LocalTime(), platform::UtcTime()}) {
    EXPECT_GE(time.year, 2024);
    EXPECT_GE(time.month, 1);
    EXPECT_LE(time.month, 12);
    EXPECT_GE(time.day, 1);
    EXPECT_LE(time.day, 31);
    EXPECT_LT(time.hour, 24);
    EXPECT_LT(time.minute, 60);
    EXPECT_LT(time.second, 61);
    EXPECT_LT(time.millisecond, 1000);
    EXPECT_LT(time.dayOfWeek, 7);
  }
}

TEST(SystemFactsTest, TickCountDoesNotGoBackwards) {
  const std::uint32_t first = platform::TickCount();
  const std::uint32_t second = platform::TickCount();
  EXPECT_LT(static_cast<std::uint32_t>(second - first), 1000u);
}

#if defined(__linux__)
TEST(SystemFactsTest, OpenFileLimitIsRaisedToTheHardLimit) {
  rlimit limit{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
  rlimit lowered = limit;
  lowered.rlim_cur = std::min<rlim_t>(limit.rlim_max, 256);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &lowered), 0);
  EXPECT_EQ(platform::RaiseOpenFileLimit(), limit.rlim_max);
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &lowered), 0);
  EXPECT_EQ(lowered.rlim_cur, limit.rlim_max);
  setrlimit(RLIMIT_NOFILE, &limit);
}
#endif

// This process runs; a child that ended and was waited for does not, nor id 0.
TEST(SystemFactsTest, ProcessRunningTellsALiveProcessFromAnEndedOne) {
  EXPECT_TRUE(platform::IsProcessRunning(platform::ProcessId()));
  EXPECT_FALSE(platform::IsProcessRunning(0));
  platform::ChildProcess child;
  ASSERT_TRUE(child.Start(platform::ProgramFilePath(), {"--gtest_filter=NoSuchTest"}, ""));
  const std::uint32_t id = child.Id();
  int exitCode = -1;
  ASSERT_TRUE(child.WaitForExit(20000, exitCode));
  EXPECT_FALSE(platform::IsProcessRunning(id));
}

}  // namespace
