#include "common/program_paths.h"

#include <gtest/gtest.h>

namespace {

TEST(ProgramPathsTest, ExtensionIsReplaced) {
  const ProgramPaths paths = BuildProgramPaths("C:\\Tools\\TVXHandvane.exe");
  EXPECT_EQ(paths.iniFile, "C:\\Tools\\TVXHandvane.INI");
  EXPECT_EQ(paths.logFile, "C:\\Tools\\TVXHandvane.LOG");
  EXPECT_EQ(paths.indexPageFile, "C:\\Tools\\TVXHandvane.TXT");
  EXPECT_EQ(paths.pageTextsFile, "C:\\Tools\\TVXHandvane.LNG");
  EXPECT_EQ(paths.title, "TVXHandvane");
}

TEST(ProgramPathsTest, OnlyTheLastDotOfTheNameCounts) {
  const ProgramPaths paths = BuildProgramPaths("/opt/my.tools/Code.plate.bin");
  EXPECT_EQ(paths.iniFile, "/opt/my.tools/Code.plate.INI");
  EXPECT_EQ(paths.title, "Code.plate");
}

TEST(ProgramPathsTest, NameWithoutExtensionKeepsItsFolderDots) {
  const ProgramPaths paths = BuildProgramPaths("/home/me/tvx.d/TVXHandvane");
  EXPECT_EQ(paths.iniFile, "/home/me/tvx.d/TVXHandvane.INI");
  EXPECT_EQ(paths.logFile, "/home/me/tvx.d/TVXHandvane.LOG");
  EXPECT_EQ(paths.title, "TVXHandvane");
}

TEST(ProgramPathsTest, JoinAddsOneSeparator) {
  EXPECT_EQ(JoinPath("", "a.ini"), "a.ini");
  EXPECT_EQ(JoinPath("dir/", "a.ini"), "dir/a.ini");
  EXPECT_EQ(JoinPath("dir\\", "a.ini"), "dir\\a.ini");
}

}  // namespace
