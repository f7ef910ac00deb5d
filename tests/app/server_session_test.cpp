#include "app/server_session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/main_dialog.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "platform/socket_client.h"
#include "tests/app/fake_mouse.h"
#include "tests/app/recording_view.h"
#include "tests/pointer/channel_fixture.h"
#include "tests/support/temp_folder.h"

namespace {

// The program's session behind the dialog, "installed" in a temp folder with
// its INI and profile there too: the real server, area and files.
class ServerSessionTest : public testing::Test {
 protected:
  ServerSessionTest() {
    std::uint16_t freePort = 0;
    EXPECT_TRUE(platform::FindFreePort(freePort));
    port = freePort;
    WriteIni("General", "Log", "FALSE");
    WriteIni("Paths", "PathToIniFolder", folder.Path());
    WriteIni("Paths", "PathToWorkingDir", folder.Path());
    WriteIni("Control", "Port", std::to_string(port));
  }

  void WriteIni(const char* section, const char* key, const std::string& value) {
    EXPECT_TRUE(platform::ProfileWriteString(paths.iniFile, section, key, value.c_str()));
  }

  std::string Profile(const char* key) {
    return platform::ProfileReadString(profile, "Settings", key, "<none>", 460);
  }

  // A program's application, view and dialog, the dialog not yet initialised.
  struct Program {
    explicit Program(ServerSessionTest& test)
        : app(test.paths, test.profile, test.areaName),
          session(app, test.mouse),
          dialog(session, view, test.mouse) {}
    Application app;
    RecordingView view;
    ServerSession session;
    MainDialog dialog;
  };
  // A new program in place of the last one opened, which must have ended.
  Program& Open() { return program.emplace(*this); }

  TempFolder folder;
  ProgramPaths paths = BuildProgramPaths(folder.File("TVXHandvane.exe"));
  std::string profile = folder.File("Profile.INI");
  std::string areaName = UniqueAreaName();
  int port = 0;
  FakeMouse mouse;
  std::optional<Program> program;
};

// The server answers on the INI's port; a selection is stored in the INI at
// once; the way out saves the profile and closes the area.
TEST_F(ServerSessionTest, TheServerRunsOnTheStoredPortAndTheWayOutSavesAndCloses) {
  auto& [app, view, session, dialog] = Open();
  ASSERT_TRUE(dialog.OnInitDialog());
  platform::ClientSocket client;
  EXPECT_TRUE(client.Connect(static_cast<std::uint16_t>(port)));
  dialog.SelectPointer(7);
  EXPECT_EQ(platform::ProfileReadString(paths.iniFile, "Control", "SelectedPointer", "", 16), "7");

  dialog.OnOK();
  EXPECT_EQ(Profile("PTO"), "10");
  EXPECT_EQ(Profile("Port"), std::to_string(port));
  EXPECT_EQ(app.channel.GetHeader(), nullptr);
}

// With AccessKey=auto every start makes a key of its own, which the key file
// holds for Codeplate while the program runs; a key of the operator's is
// taken as it is and needs no key file.
TEST_F(ServerSessionTest, AutomaticAccessKeyIsNewAtEveryStartAndPublishedWhileRunning) {
  WriteIni("Control", "AccessKey", "auto");
  std::vector<std::string> keys;
  for (int start = 0; start < 2; ++start) {
    auto& [app, view, session, dialog] = Open();
    ASSERT_TRUE(dialog.OnInitDialog());
    keys.push_back(dialog.AccessKey());
    EXPECT_EQ(keys.back().size(), 8u);
    EXPECT_EQ(TempFolder::ReadAll(paths.keyFile),
              keys.back() + "\n" + std::to_string(platform::ProcessId()) + "\n" + areaName + "\n");
    dialog.OnCancel();
    EXPECT_FALSE(platform::PathExists(paths.keyFile));
  }
  EXPECT_NE(keys[0], keys[1]);

  WriteIni("Control", "AccessKey", "Room-12");
  TempFolder::WriteAll(paths.keyFile, "Stale123\n");
  auto& [app, view, session, dialog] = Open();
  ASSERT_TRUE(dialog.OnInitDialog());
  EXPECT_EQ(dialog.AccessKey(), "Room-12");
  EXPECT_FALSE(platform::PathExists(paths.keyFile));
  dialog.OnCancel();
}

// The system's refusals of both files reach the operator.
TEST_F(ServerSessionTest, SettingsThatCannotBeSavedAreReported) {
  auto& [app, view, session, dialog] = Open();
  ASSERT_TRUE(dialog.OnInitDialog());
  // Folders where the files go: no write can replace them.
  std::filesystem::remove(paths.iniFile);
  std::filesystem::create_directory(paths.iniFile);
  std::filesystem::create_directory(profile);

  dialog.SelectPointer(7);
  EXPECT_TRUE(
      view.notices.back().starts_with("The setting could not be saved in " + paths.iniFile + ": "))
      << view.notices.back();
  dialog.OnOK();
  const std::string notSaved = "The settings could not be saved in " + profile + ": ";
  EXPECT_TRUE(std::any_of(view.notices.begin(), view.notices.end(),
                          [&](const std::string& notice) { return notice.starts_with(notSaved); }));
}

TEST_F(ServerSessionTest, FailedSharedMemoryEndsEarlyWithoutOverwritingSettings) {
  WriteIni("Paths", "PathToIniFolder", folder.File("no-such-folder"));
  EXPECT_TRUE(platform::ProfileWriteString(profile, "Settings", "Defindex", "start.htm"));
  auto& [app, view, session, dialog] = Open();
  EXPECT_FALSE(dialog.OnInitDialog());
  dialog.OnDestroy();
  EXPECT_EQ(view.messages, std::vector<std::string>{"Can not create the TVXHDV shared memory!"});
  EXPECT_TRUE(view.HasEnded());
  EXPECT_FALSE(dialog.IsRunning());
  EXPECT_EQ(Profile("Defindex"), "start.htm");
  EXPECT_EQ(Profile("PTO"), "<none>");
}

// A second copy leaves the running one's log as it is and names its process.
TEST_F(ServerSessionTest, SecondCopyLeavesTheRunningOnesFilesAndNamesIt) {
  WriteIni("General", "Log", "TRUE");
  auto& [running, runningView, runningSession, first] = Open();
  ASSERT_TRUE(first.OnInitDialog());
  const std::string log = TempFolder::ReadAll(paths.logFile);
  ASSERT_NE(log.find("TVXHandvane started"), std::string::npos);

  Program second(*this);
  EXPECT_FALSE(second.dialog.OnInitDialog());
  second.dialog.OnDestroy();
  EXPECT_EQ(TempFolder::ReadAll(paths.logFile), log);
  EXPECT_EQ(second.view.messages,
            std::vector<std::string>{"Can not create the TVXHDV shared memory!\nTVXHandvane "
                                     "already runs (process " +
                                     std::to_string(platform::ProcessId()) +
                                     "): use that one, or end it before starting another."});
  EXPECT_TRUE(first.IsRunning());
  first.OnOK();
}

// A press is in the held buttons' file before the cursor's next event, not
// at a later tick of the dialog: the program may die in between.
TEST_F(ServerSessionTest, HeldButtonsAreRecordedAsTheyGoDownAndForgottenAsTheyGoUp) {
  auto& [app, view, session, dialog] = Open();
  mouse.available = true;
  app.settings.selectedPointer = 3;
  ASSERT_EQ(session.Cursor().SwitchOn(), CursorControl::Refusal::kNone);
  const auto report = [&](int frame, const char* buttons) {
    char path[40];
    std::snprintf(path, sizeof path, "/tolvex10003%04X80008000%s0200", frame, buttons);
    app.protocol.HandlePointerReport(path);
  };
  // Each change is followed by a report that changes nothing: once its
  // event went out, the change's record is done and no other is under way.
  report(1, "10");
  report(2, "10");
  ASSERT_EQ(mouse.SentFlags(2).size(), 2u);
  EXPECT_EQ(TempFolder::ReadAll(paths.heldButtonsFile),
            "[HeldButtons]\nProcess=" + std::to_string(platform::ProcessId()) + "\nButtons=1\n");
  report(3, "00");
  report(4, "00");
  ASSERT_EQ(mouse.SentFlags(4).size(), 4u);
  EXPECT_FALSE(platform::PathExists(paths.heldButtonsFile));
}
}  // namespace
