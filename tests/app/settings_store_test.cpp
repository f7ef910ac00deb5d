#include "app/settings_store.h"

#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <string>
#include <utility>

#include "app/field_texts.h"
#include "common/diagnostic_log.h"
#include "platform/profile.h"
#include "tests/support/temp_folder.h"

namespace {

class SettingsStoreTest : public testing::Test {
 protected:
  TempFolder folder;
  SettingsFiles files{folder.File("TVXHandvane.INI"), folder.File("profile/TVXHandvane.INI")};
  Settings settings;
};

// A start without any settings file: each value has its one default, and
// the home directory field shows the folder served from.
TEST_F(SettingsStoreTest, WithoutFilesEachFieldHasItsOneDefault) {
  DiagnosticLog log;
  ReadIni(settings, files.iniFile, log);
  ReadProfile(settings, files.profileFile);
  EXPECT_EQ(settings.fields.port, 8080);
  EXPECT_EQ(settings.serverRoot, "");
  EXPECT_EQ(settings.fields.homeDirectory, "");
  EXPECT_EQ(settings.fields.defaultIndexFile, "index.htm");
  EXPECT_EQ(settings.fields.persistenceTimeoutSeconds, 10);

  // The profile's own "Server Root" and "Port" are written but never read.
  files.profileFile = folder.File("Profile.INI");
  TempFolder::WriteAll(files.profileFile, "[Settings]\r\nServer Root=/ignored\r\nPort=1234\r\n");
  TempFolder::WriteAll(files.iniFile, "[Paths]\r\nPathToWorkingDir=/srv/www\r\n");
  ReadIni(settings, files.iniFile, log);
  ReadProfile(settings, files.profileFile);
  EXPECT_EQ(settings.fields.homeDirectory, "/srv/www");
  EXPECT_EQ(settings.fields.port, 8080);
}

// The fields' checks at both ends of their ranges; a number outside its
// range is taken all the same.
TEST(FieldTextsTest, PortAndTimeoutAreCheckedAtBothEnds) {
  const std::string kPortRange = "Please enter an integer between 1 and 65535.";
  const std::string kTimeoutRange = "Please enter an integer between 0 and 10000.";
  const std::pair<FieldTexts, std::optional<std::string>> cases[] = {
      {{"", "", "1", "0"}, std::nullopt},
      {{"", "", "65535", "10000"}, std::nullopt},
      {{"", "", "0", "0"}, kPortRange},
      {{"", "", "65536", "0"}, kPortRange},
      {{"", "", "80", "10001"}, kTimeoutRange},
      {{"", "", "80", "-1"}, kTimeoutRange},
      {{"", "", "eighty", "0"}, "Please enter an integer."},
  };
  for (const auto& [texts, problem] : cases) {
    ServerFields fields;
    EXPECT_EQ(TakeFieldTexts(texts, fields), problem)
        << texts.port << " " << texts.persistenceTimeout;
  }
  ServerFields fields;
  EXPECT_TRUE(TakeFieldTexts({"/www", "start.htm", "70000", "5"}, fields).has_value());
  EXPECT_EQ(fields.port, 70000);
  EXPECT_EQ(fields.defaultIndexFile, "start.htm");
}

TEST_F(SettingsStoreTest, SaveWritesProfileAndPlacementOutOfRangeOrNot) {
  files.profileFile = folder.File("Profile.INI");
  const ServerFields fields{"/home/www", "start.htm", 8081, 20000};
  WindowPlacementBytes placement{};
  placement[0] = 44;
  SaveSettings(files, fields, placement);

  auto profile = [&](const char* key) {
    return platform::ProfileReadString(files.profileFile, "Settings", key, "<none>", 460);
  };
  EXPECT_EQ(profile("Server Root"), "/home/www");
  EXPECT_EQ(profile("Defindex"), "start.htm");
  EXPECT_EQ(profile("Port"), "8081");
  EXPECT_EQ(profile("PTO"), "20000");

  WindowPlacementBytes stored{};
  ASSERT_TRUE(platform::ProfileReadStruct(files.iniFile, "General", "WindowPos", stored.data(),
                                          stored.size()));
  EXPECT_EQ(stored, placement);

  // A view without a window (the console) keeps the stored placement.
  SaveSettings(files, fields, std::nullopt);
  WindowPlacementBytes kept{};
  ASSERT_TRUE(
      platform::ProfileReadStruct(files.iniFile, "General", "WindowPos", kept.data(), kept.size()));
  EXPECT_EQ(kept, stored);

  // The stored timeout comes back as it was, out of range or not.
  ReadProfile(settings, files.profileFile);
  EXPECT_EQ(settings.fields.persistenceTimeoutSeconds, 20000);
}

TEST_F(SettingsStoreTest, SelectedPointerIsStoredAndReadBack) {
  ASSERT_TRUE(StoreSelectedPointer(7, files.iniFile));
  EXPECT_EQ(platform::ProfileReadString(files.iniFile, "Control", "SelectedPointer", "", 460), "7");
}

TEST(PersistenceTimeoutTest, MillisecondsNeverOverflow) {
  EXPECT_EQ(PersistenceTimeoutMs(10), 10000);
  EXPECT_EQ(PersistenceTimeoutMs(0), 0);
  EXPECT_EQ(PersistenceTimeoutMs(2147483), 2147483000);
  EXPECT_EQ(PersistenceTimeoutMs(2147484), INT_MAX);  // seconds x 1000 passes INT_MAX here
  EXPECT_EQ(PersistenceTimeoutMs(INT_MAX), INT_MAX);
  EXPECT_EQ(PersistenceTimeoutMs(INT_MIN), 0);
}

}  // namespace
