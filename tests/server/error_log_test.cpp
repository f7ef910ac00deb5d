#include "server/error_log.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/file_read.h"
#include "server/time_stamp.h"
#include "tests/support/fixed_clock.h"
#include "tests/support/temp_folder.h"

namespace {

class FolderLog : public ErrorLog {
 public:
  explicit FolderLog(const TempFolder& folder) { SetLogFolder(folder.Path()); }
  using ErrorLog::SetSizeLimit;
};

class ErrorLogTest : public testing::Test {
 protected:
  TempFolder folder;
  FolderLog log{folder};

  std::string Contents() { return TempFolder::ReadAll(folder.File("DIDidezu.log")); }
};

const char kStamp[] =
    "(Sun|Mon|Tue|Wed|Thu|Fri|Sat), [0-3][0-9] "
    "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [0-9]{4} [0-2][0-9]:[0-5][0-9]:[0-6][0-9]";

TEST(LogTimeStamp, UsesEnglishNamesAndTwoDigitFields) {
  platform::CalendarTime time = CalendarTimeOf(2026, 12, 6, 0, 21, 36, 9);
  char text[128];
  FormatLogTimeStamp(time, text, sizeof text);
  EXPECT_STREQ(text, "Sun, 06 Dec 2026 21:36:09");
  time.month = 5;
  time.dayOfWeek = 3;
  FormatLogTimeStamp(time, text, sizeof text);
  EXPECT_STREQ(text, "Wed, 06 May 2026 21:36:09");
}

TEST_F(ErrorLogTest, LinesCarryStampMessageFunctionAndCodeWithCrLf) {
  EXPECT_EQ(log.WriteLog("DIDidezu.log", "bind(...) failure", "AcceptThread", 10048), 1);
  EXPECT_EQ(log.WriteLog("DIDidezu.log", "Timeout ->", nullptr, -7), 1);
  const std::regex expected(
      std::string("^") + kStamp +
      " - bind\\(\\.\\.\\.\\) failure\\.\t\\[AcceptThread\\]\t\\[10048\\]\r\n" + kStamp +
      " - Timeout ->\\.\t\\[-7\\]\r\n$");
  EXPECT_TRUE(std::regex_match(Contents(), expected)) << Contents();
}

TEST_F(ErrorLogTest, EmptyMessageOrFileNameWritesNothing) {
  EXPECT_EQ(log.WriteLog("DIDidezu.log", "", "Run", 0), 0);
  EXPECT_EQ(log.WriteLog("DIDidezu.log", nullptr, "Run", 0), 0);
  EXPECT_EQ(log.WriteLog("", "message", "Run", 0), 0);
  EXPECT_EQ(log.WriteLog(nullptr, "message", "Run", 0), 0);
  EXPECT_EQ(Contents(), "");
}

TEST_F(ErrorLogTest, NewLinesFollowThoseOfEarlierRuns) {
  TempFolder::WriteAll(folder.File("DIDidezu.log"), "earlier line\r\n");
  log.WriteLog("DIDidezu.log", "next", "Run", 1);
  const std::string contents = Contents();
  EXPECT_EQ(contents.rfind("earlier line\r\n", 0), 0u);
  EXPECT_NE(contents.find(" - next.\t[Run]\t[1]\r\n"), std::string::npos);
}

TEST_F(ErrorLogTest, ConcurrentWritersProduceWholeLines) {
  constexpr int kWriters = 6;
  constexpr int kLinesEach = 60;
  std::vector<std::thread> writers;
  for (int writer = 0; writer < kWriters; ++writer) {
    writers.emplace_back([this, writer] {
      const std::string function = "Writer" + std::to_string(writer);
      for (int line = 0; line < kLinesEach; ++line) {
        log.WriteLog("DIDidezu.log", "concurrent line", function.c_str(), line);
      }
    });
  }
  for (std::thread& writer : writers) writer.join();

  const std::regex wholeLine(std::string("^") + kStamp +
                             " - concurrent line\\.\t\\[Writer[0-9]\\]\t\\[[0-9]+\\]\r$");
  std::istringstream lines(Contents());
  std::string line;
  std::vector<int> linesPerWriter(kWriters, 0);
  while (std::getline(lines, line)) {
    ASSERT_TRUE(std::regex_match(line, wholeLine)) << line;
    ++linesPerWriter[line[line.find("[Writer") + 7] - '0'];
  }
  for (int count : linesPerWriter) EXPECT_EQ(count, kLinesEach);
}

// A viewer that keeps the log open, sharing it for reading and writing, must
// not cost a line.
TEST_F(ErrorLogTest, LineIsWrittenWhileAnotherProgramHasTheFileOpen) {
  ASSERT_EQ(log.WriteLog("DIDidezu.log", "first", "F", 1), 1);
  platform::FileReader viewer;
  ASSERT_TRUE(viewer.Open(folder.File("DIDidezu.log"), platform::FileOpenMode::kSharedReadWrite));
  EXPECT_EQ(log.WriteLog("DIDidezu.log", "second", "F", 2), 1);
  viewer.Close();
  EXPECT_NE(Contents().find(" - second.\t[F]\t[2]\r\n"), std::string::npos) << Contents();
}

TEST_F(ErrorLogTest, FullFileIsSetAsideAndANewOneBegins) {
  log.SetSizeLimit(120);  // two lines and a half
  for (int i = 0; i < 3; ++i) log.WriteLog("DIDidezu.log", "filler line", "F", i);
  const std::string full = Contents();
  ASSERT_GE(full.size(), 120u);
  log.WriteLog("DIDidezu.log", "after", "F", 7);
  EXPECT_EQ(TempFolder::ReadAll(folder.File("DIDidezu.log.1")), full);
  const std::string fresh = Contents();
  EXPECT_NE(fresh.find(" - after.\t[F]\t[7]\r\n"), std::string::npos);
  EXPECT_EQ(fresh.find("filler"), std::string::npos);

  for (int i = 0; i < 3; ++i) log.WriteLog("DIDidezu.log", "more filler", "F", i);
  EXPECT_NE(TempFolder::ReadAll(folder.File("DIDidezu.log.1")).find("after"), std::string::npos);
}

}  // namespace
