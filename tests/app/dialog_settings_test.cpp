#include "app/dialog_settings.h"

#include <gtest/gtest.h>

#include <climits>

#include "platform/profile.h"
#include "tests/support/temp_folder.h"

namespace {

// Stands in for the dialog: its "controls" are a second set of fields.
class FakeDialog : public DialogFieldExchange {
 public:
  DialogFields members;
  DialogFields controls;
  bool rangeCheckPasses = true;
  std::optional<WindowPlacementBytes> placement = WindowPlacementBytes{};

  DialogFields& Fields() override { return members; }
  bool TakeFieldsFromControls() override {
    members = controls;
    return rangeCheckPasses;
  }
  void PushFieldsToControls() override { controls = members; }
  std::optional<WindowPlacementBytes> CurrentPlacement() override { return placement; }
};

class DialogSettingsTest : public testing::Test {
 protected:
  TempFolder folder;
  SettingsFiles files{folder.File("TVXHandvane.INI"), folder.File("profile/TVXHandvane.INI")};
  Settings settings;
  FakeDialog dialog;
};

TEST_F(DialogSettingsTest, LoadUsesProfileDefaultsAndTheProgramIniForRootAndPort) {
  files.profileFile = folder.File("Profile.INI");
  TempFolder::WriteAll(files.profileFile, "[Settings]\r\nServer Root=/ignored\r\nPort=1234\r\n");
  settings.serverRoot = "/srv/www";
  settings.port = 8080;
  LoadDialogSettings(settings, files, dialog);
  EXPECT_EQ(settings.defaultIndexFile, "index.htm");
  EXPECT_EQ(settings.persistenceTimeoutSeconds, 10);
  EXPECT_EQ(dialog.controls.homeDirectory, "/srv/www");
  EXPECT_EQ(dialog.controls.port, 8080);
  EXPECT_EQ(dialog.controls.defaultIndexFile, "index.htm");
  EXPECT_EQ(dialog.controls.persistenceTimeoutSeconds, 10);
}

TEST_F(DialogSettingsTest, SaveWritesProfileAndPlacementEvenAfterAFailedRangeCheck) {
  files.profileFile = folder.File("Profile.INI");
  dialog.controls = {"/home/www", "start.htm", 8081, 20000};
  dialog.rangeCheckPasses = false;
  (*dialog.placement)[0] = 44;
  SaveDialogSettings(files, dialog);

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
  EXPECT_EQ(stored, *dialog.placement);

  // A view without a window (the console) keeps the stored placement.
  dialog.placement.reset();
  SaveDialogSettings(files, dialog);
  WindowPlacementBytes kept{};
  ASSERT_TRUE(
      platform::ProfileReadStruct(files.iniFile, "General", "WindowPos", kept.data(), kept.size()));
  EXPECT_EQ(kept, stored);

  // The stored timeout comes back as it was, out of range or not.
  LoadDialogSettings(settings, files, dialog);
  EXPECT_EQ(settings.persistenceTimeoutSeconds, 20000);
}

TEST_F(DialogSettingsTest, SelectedPointerIsStoredAndReadBack) {
  StoreSelectedPointer(7, files.iniFile);
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
