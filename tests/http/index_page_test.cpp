#include "http/index_page.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/diagnostic_log.h"
#include "tests/support/log_lines.h"
#include "tests/support/temp_folder.h"

namespace {

using Lines = std::vector<std::string>;

class IndexPageTest : public testing::Test {
 protected:
  TempFolder folder;
  DiagnosticLog log{folder.File("Test.LOG")};
  IndexPage page;
  std::string pageFile = folder.File("TVXHandvane.TXT");

  Lines Messages() const { return LogMessages(log.Path()); }
};

TEST_F(IndexPageTest, EmptyUntilTheFirstLoad) {
  EXPECT_EQ(*page.Current(), "");
}

TEST_F(IndexPageTest, LoadsTheFileWholeWithItsZeroBytes) {
  const std::string bytes("<html>\0\x01\xff</html>", 16);
  TempFolder::WriteAll(pageFile, bytes);
  EXPECT_EQ(ReReadFiles(page, pageFile, log), 1);
  EXPECT_EQ(*page.Current(), bytes);
  EXPECT_EQ(Messages(), (Lines{"Entered ReadFileIntoMemory", "Size of file: 16 byte!"}));
}

TEST_F(IndexPageTest, ExactlyTheCapacityLoadsOneByteMoreDoesNot) {
  TempFolder::WriteAll(pageFile, std::string(IndexPage::kCapacity, 'a'));
  EXPECT_EQ(ReReadFiles(page, pageFile, log), 1);
  EXPECT_EQ(page.Current()->size(), 100000u);

  TempFolder::WriteAll(pageFile, std::string(IndexPage::kCapacity + 1, 'b'));
  EXPECT_EQ(ReReadFiles(page, pageFile, log), 0);
  EXPECT_EQ(*page.Current(), std::string(IndexPage::kCapacity, 'a'));
  EXPECT_EQ(Messages(), (Lines{"Entered ReadFileIntoMemory", "Size of file: 100000 byte!",
                               "Entered ReadFileIntoMemory", "Size of file > 100000 byte!"}));
}

TEST_F(IndexPageTest, AFailedReloadKeepsServingTheGoodPage) {
  TempFolder::WriteAll(pageFile, "good page");
  ASSERT_EQ(ReReadFiles(page, pageFile, log), 1);
  const auto servedBefore = page.Current();

  std::remove(pageFile.c_str());
  EXPECT_EQ(ReReadFiles(page, pageFile, log), 0);
  EXPECT_EQ(*page.Current(), "good page");
  EXPECT_EQ(Messages().back(), "Can not open file " + pageFile + " for reading");

  TempFolder::WriteAll(pageFile, "edited");
  ASSERT_EQ(ReReadFiles(page, pageFile, log), 1);
  EXPECT_EQ(*page.Current(), "edited");
  EXPECT_EQ(*servedBefore, "good page");  // a reply still holding the old page keeps it whole
}

TEST_F(IndexPageTest, AnEmptyFileLoadsAsAnEmptyPage) {
  TempFolder::WriteAll(pageFile, "x");
  ASSERT_EQ(ReReadFiles(page, pageFile, log), 1);
  TempFolder::WriteAll(pageFile, "");
  EXPECT_EQ(ReReadFiles(page, pageFile, log), 1);
  EXPECT_EQ(*page.Current(), "");
  EXPECT_EQ(Messages().back(), "Size of file: 0 byte!");
}

TEST_F(IndexPageTest, AFolderIsNoFile) {
  std::string contents = "kept";
  EXPECT_EQ(ReadFileIntoMemory(folder.Path(), 100, contents, log), 0);
  EXPECT_EQ(contents, "kept");
  EXPECT_EQ(Messages().back(), "Can not open file " + folder.Path() + " for reading");
}

}  // namespace
