#include "app/console/console_line_reader.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

// A line far above the limit is dropped as a whole without being held; the
// lines around it, one exactly at the limit included, come through.
TEST(ConsoleLineReaderTest, ALongLineIsDroppedWithoutBeingHeld) {
  std::istringstream input("select 3\n" + std::string(1000000, 'x') + "\n" +
                           std::string(kConsoleLineLimit, 'y') + "\nstatus");
  std::string line;
  ASSERT_EQ(ReadConsoleLine(input, line), ConsoleLine::kLine);
  EXPECT_EQ(line, "select 3");
  ASSERT_EQ(ReadConsoleLine(input, line), ConsoleLine::kTooLong);
  EXPECT_TRUE(line.empty());
  EXPECT_LE(line.capacity(), 2 * kConsoleLineLimit);
  ASSERT_EQ(ReadConsoleLine(input, line), ConsoleLine::kLine);
  EXPECT_EQ(line, std::string(kConsoleLineLimit, 'y'));
  ASSERT_EQ(ReadConsoleLine(input, line), ConsoleLine::kLine);
  EXPECT_EQ(line, "status");
  EXPECT_EQ(ReadConsoleLine(input, line), ConsoleLine::kEnd);
}

}  // namespace
