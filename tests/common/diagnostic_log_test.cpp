#include "common/diagnostic_log.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "tests/support/fixed_clock.h"
#include "tests/support/temp_folder.h"

namespace {

// Every message gets the next millisecond, so each line shows when it was written.
class DiagnosticLogTest : public testing::Test {
 protected:
  TempFolder folder;
  int millisecond = 0;
  DiagnosticLog log{folder.File("Prog.LOG"),
                    [this] { return CalendarTimeOf(2026, 12, 6, 0, 21, 43, 52, millisecond++); }};

  std::string Contents() { return TempFolder::ReadAll(log.Path()); }
};

TEST_F(DiagnosticLogTest, RepeatsAreCountedAndStampedWithTheNextMessage) {
  log.WriteLogLine("A");
  log.WriteLogLine("A");
  log.WriteLogLine("A");
  log.WriteLogLine("B");
  EXPECT_EQ(Contents(),
            "2026/12/06-21:43:52.000: A\r\n"
            "2026/12/06-21:43:52.001: (REPCNT: 2)\r\n"
            "2026/12/06-21:43:52.001: B\r\n");
}

TEST_F(DiagnosticLogTest, OnlyConsecutiveEqualMessagesCollapse) {
  log.WriteLogLine("A");
  log.WriteLogLine("B");
  log.WriteLogLine("A");
  log.WriteLogLine("abc");
  log.WriteLogLine("Abc");
  log.WriteLogLine("A");
  log.WriteLogLine("A");  // pending at the end, never written
  EXPECT_EQ(Contents(),
            "2026/12/06-21:43:52.000: A\r\n"
            "2026/12/06-21:43:52.001: B\r\n"
            "2026/12/06-21:43:52.002: A\r\n"
            "2026/12/06-21:43:52.003: abc\r\n"
            "2026/12/06-21:43:52.004: Abc\r\n"
            "2026/12/06-21:43:52.005: A\r\n");
}

TEST_F(DiagnosticLogTest, EmptyFirstMessageIsARepeat) {
  log.WriteLogLine("");
  EXPECT_EQ(Contents(), "");
  log.WriteLogLine("X");
  EXPECT_EQ(Contents(),
            "2026/12/06-21:43:52.000: (REPCNT: 1)\r\n"
            "2026/12/06-21:43:52.000: X\r\n");
}

TEST_F(DiagnosticLogTest, SwitchedOffChangesNothingAndKeepsThePendingCount) {
  log.WriteLogLine("A");
  log.WriteLogLine("A");
  log.SetEnabled(false);
  log.WriteLogLine("B");
  log.WriteLogLine("A");
  log.SetEnabled(true);
  log.WriteLogLine("C");
  EXPECT_EQ(Contents(),
            "2026/12/06-21:43:52.000: A\r\n"
            "2026/12/06-21:43:52.001: (REPCNT: 1)\r\n"
            "2026/12/06-21:43:52.001: C\r\n");
}

TEST_F(DiagnosticLogTest, FailedOpenKeepsTheMessageAsLastAndTheCountPending) {
  const std::string good = log.Path();
  log.WriteLogLine("A");
  log.WriteLogLine("A");
  log.SetPath(folder.File("missing-folder/Prog.LOG"));
  log.WriteLogLine("B");  // lost: cannot open
  log.SetPath(good);
  log.WriteLogLine("B");  // a repeat of the lost message
  log.WriteLogLine("C");
  EXPECT_EQ(Contents(),
            "2026/12/06-21:43:52.000: A\r\n"
            "2026/12/06-21:43:52.002: (REPCNT: 2)\r\n"
            "2026/12/06-21:43:52.002: C\r\n");
}

TEST_F(DiagnosticLogTest, FailedWriteAfterTheOpenClearsTheCount) {
  // Opens, then takes no byte (wine reaches it through its drive Z:).
  std::string full = "/dev/full";
  if (!platform::PathExists(full)) full = "Z:\\dev\\full";
  bool opened = false;
  if (platform::AppendToFile(full, "x", platform::AppendSharing::kExclusive, opened) || !opened) {
    GTEST_SKIP() << "no device that is always full";
  }
  const std::string good = log.Path();
  log.WriteLogLine("A");
  log.WriteLogLine("A");
  log.SetPath(full);
  log.WriteLogLine("B");  // the count went out with it, however the write ended
  log.SetPath(good);
  log.WriteLogLine("C");
  EXPECT_EQ(Contents(),
            "2026/12/06-21:43:52.000: A\r\n"
            "2026/12/06-21:43:52.002: C\r\n");
}

TEST_F(DiagnosticLogTest, MessagesAreWrittenAsGiven) {
  log.WriteLogLine("line\r\nwith break");
  EXPECT_EQ(Contents(), "2026/12/06-21:43:52.000: line\r\nwith break\r\n");
}

TEST_F(DiagnosticLogTest, LongMessagesAreWrittenWholeButComparedByTheirStart) {
  const std::string first(6000, 'x');
  std::string second = first;
  second.back() = 'y';  // differs only past what the log remembers
  log.WriteLogLine(first);
  log.WriteLogLine(second);
  log.WriteLogLine("end");
  EXPECT_EQ(Contents(), "2026/12/06-21:43:52.000: " + first +
                            "\r\n"
                            "2026/12/06-21:43:52.001: (REPCNT: 1)\r\n"
                            "2026/12/06-21:43:52.001: end\r\n");
}

TEST(DiagnosticLogConcurrencyTest, LinesOfConcurrentWritersNeverMix) {
  TempFolder folder;
  DiagnosticLog log(folder.File("Prog.LOG"));
  std::vector<std::thread> writers;
  for (int writer = 0; writer < 4; ++writer) {
    writers.emplace_back([&log, writer] {
      for (int i = 0; i < 50; ++i) log.WriteLogLine("writer " + std::to_string(writer) + " line");
    });
  }
  for (auto& thread : writers) thread.join();

  const std::string contents = TempFolder::ReadAll(log.Path());
  int lines = 0;
  int repeats = 0;
  for (std::size_t start = 0; start < contents.size();) {
    const std::size_t end = contents.find("\r\n", start);
    ASSERT_NE(end, std::string::npos);
    const std::string line = contents.substr(start + 25, end - start - 25);
    if (line.rfind("(REPCNT: ", 0) == 0) {
      repeats += std::stoi(line.substr(9));
    } else {
      EXPECT_TRUE(line.rfind("writer ", 0) == 0 && line.size() == 13) << line;
      ++lines;
    }
    start = end + 2;
  }
  // Every message is either a line of its own or counted in a repeat line;
  // only a count still pending at the end is not written.
  EXPECT_LE(lines + repeats, 200);
  EXPECT_GE(lines + repeats, 200 - 49);
}

}  // namespace
