#include "app/settings.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "app/settings_store.h"
#include "common/diagnostic_log.h"
#include "platform/profile.h"
#include "tests/support/temp_folder.h"

namespace {

class ReadIniTest : public testing::Test {
 protected:
  TempFolder folder;
  std::string ini = folder.File("TVXHandvane.INI");
  DiagnosticLog log{folder.File("TVXHandvane.LOG")};
  Settings settings;

  void WriteIni(const std::string& text) { TempFolder::WriteAll(ini, text); }
  void Read() { ReadIni(settings, ini, log); }
};

TEST_F(ReadIniTest, WithoutAnIniFileTheDefaultsHold) {
  Read();
  EXPECT_FALSE(settings.logEnabled);
  EXPECT_FALSE(log.IsEnabled());
  EXPECT_EQ(settings.logLevel, 0);
  EXPECT_EQ(settings.serverRoot, "");
  EXPECT_EQ(settings.sharedMemoryFolder, "");
  EXPECT_EQ(settings.selectedPointer, 0);
  EXPECT_FALSE(settings.windowPlacement.has_value());
  // Written while the switch was still on.
  EXPECT_NE(TempFolder::ReadAll(log.Path()).find(": Entered ReadIni\r\n"), std::string::npos);
}

TEST_F(ReadIniTest, LogIsOffOnlyForFalseInAnyCase) {
  for (const char* value : {"false", "False"}) {
    WriteIni(std::string("[General]\r\nLog=") + value + "\r\n");
    Read();
    EXPECT_FALSE(settings.logEnabled) << value;
  }
  for (const char* value : {"0", "NO", ""}) {
    WriteIni(std::string("[General]\r\nLog=") + value + "\r\n");
    Read();
    EXPECT_TRUE(settings.logEnabled) << value;
  }
}

TEST_F(ReadIniTest, IntegersThatAreNoNumbersKeepTheInitialValue) {
  WriteIni("[General]\r\nLogLevel=abc\r\n[Control]\r\nPort=8181xyz\r\n");
  Read();
  EXPECT_EQ(settings.logLevel, 1);
  EXPECT_EQ(settings.fields.port, 8181);
}

TEST_F(ReadIniTest, ValuesAreRead) {
  WriteIni(
      "[General]\r\nLog=TRUE\r\nLogLevel=4\r\n"
      "[Paths]\r\nPathToWorkingDir=/srv/www\r\nPathToIniFolder=/tmp/shm\r\n"
      "[Control]\r\nPort=9000\r\nSelectedPointer=79\r\nPageLanguage=ar\r\n");
  Read();
  EXPECT_TRUE(settings.logEnabled);
  EXPECT_EQ(settings.logLevel, 4);
  EXPECT_EQ(settings.serverRoot, "/srv/www");
  EXPECT_EQ(settings.sharedMemoryFolder, "/tmp/shm");
  EXPECT_EQ(settings.fields.port, 9000);
  EXPECT_EQ(settings.selectedPointer, 79);
  EXPECT_EQ(settings.pageLanguage, "ar");
}

// Relative folders stay relative: a launcher that starts the program in a
// folder of its choice makes them that folder's.
TEST_F(ReadIniTest, RelativeFoldersAreUsedAsWritten) {
  WriteIni("[Paths]\r\nPathToWorkingDir=www\r\nPathToIniFolder=.\r\n");
  Read();
  EXPECT_EQ(settings.serverRoot, "www");
  EXPECT_EQ(settings.sharedMemoryFolder, ".");
  WriteIni("[Paths]\r\nPathToWorkingDir=" + folder.File("www") + "\r\nPathToIniFolder=\r\n");
  Read();
  EXPECT_EQ(settings.serverRoot, folder.File("www"));
  EXPECT_EQ(settings.sharedMemoryFolder, "");
}

#if !defined(_WIN32)
// Settings kept elsewhere and linked beside the program are read, and the
// selection stored, where the link leads; the link stays.
TEST_F(ReadIniTest, ALinkedIniIsReadAndWrittenWhereItLeads) {
  const std::string kept = "[Control]\r\nPort=9000\r\nAccessKey=k3y\r\n";
  TempFolder::WriteAll(folder.File("Kept.INI"), kept);
  std::filesystem::create_symlink("Kept.INI", ini);
  Read();
  EXPECT_EQ(settings.fields.port, 9000);
  EXPECT_EQ(settings.accessKey, "k3y");
  ASSERT_TRUE(StoreSelectedPointer(7, ini));
  ASSERT_TRUE(StoreShowPointers(true, ini));
  ASSERT_TRUE(StoreCursorScreen("2", ini));
  EXPECT_TRUE(std::filesystem::is_symlink(ini));
  EXPECT_EQ(TempFolder::ReadAll(folder.File("Kept.INI")),
            kept + "SelectedPointer=7\r\nShowPointers=1\r\nCursorScreen=2\r\n");
}
#endif

TEST_F(ReadIniTest, SelectedPointerOutsideTheTablesIsIgnored) {
  for (const char* value : {"80", "-1", "255"}) {
    settings.selectedPointer = 0;
    WriteIni(std::string("[Control]\r\nSelectedPointer=") + value + "\r\n");
    Read();
    EXPECT_EQ(settings.selectedPointer, 0) << value;
  }
}

// Names are shown unless the INI says numbers; a word it does not know
// keeps the default. The choice is stored as the word.
TEST_F(ReadIniTest, PointerLabelsAreNamesUnlessTheIniSaysNumbers) {
  const std::pair<const char*, PointerLabels> cases[] = {
      {"numbers", PointerLabels::kNumbers}, {"NAMES", PointerLabels::kNames},
      {"both", PointerLabels::kNames}, {"", PointerLabels::kNames}};
  for (const auto& [word, labels] : cases) {
    settings.pointerLabels = PointerLabels::kNumbers;
    WriteIni(std::string("[Control]\r\nPointerLabels=") + word + "\r\n");
    Read();
    EXPECT_EQ(settings.pointerLabels, labels) << word;
  }
  ASSERT_TRUE(StorePointerLabels(PointerLabels::kNumbers, ini));
  Read();
  EXPECT_EQ(settings.pointerLabels, PointerLabels::kNumbers);
}

TEST_F(ReadIniTest, WindowPlacementNeedsTheRightLengthAndChecksum) {
  WindowPlacementBytes placement{};
  placement[0] = 44;
  placement[8] = 1;
  ASSERT_TRUE(platform::ProfileWriteStruct(ini, "General", "WindowPos", placement.data(), 44));
  Read();
  ASSERT_TRUE(settings.windowPlacement.has_value());
  EXPECT_EQ(*settings.windowPlacement, placement);

  std::string text = platform::ProfileReadString(ini, "General", "WindowPos", "", 460);
  text.back() = text.back() == '0' ? '1' : '0';  // break the checksum
  EXPECT_TRUE(platform::ProfileWriteString(ini, "General", "WindowPos", text.c_str()));
  Settings fresh;
  ReadIni(fresh, ini, log);
  EXPECT_FALSE(fresh.windowPlacement.has_value());

  EXPECT_TRUE(platform::ProfileWriteString(ini, "General", "WindowPos", "0102"));
  Settings shorter;
  ReadIni(shorter, ini, log);
  EXPECT_FALSE(shorter.windowPlacement.has_value());
}

}  // namespace
