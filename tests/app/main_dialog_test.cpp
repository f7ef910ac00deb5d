#include "app/main_dialog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/application.h"
#include "app/console/console_view.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "platform/socket_client.h"
#include "tests/app/fake_mouse.h"
#include "tests/pointer/channel_fixture.h"
#include "tests/support/log_lines.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_folder.h"

namespace {

class RecordingView : public ConsoleView {
 public:
  RecordingView() : ConsoleView(stdout) {}
  void ShowMessageBox(const std::string& text, const std::string&) override {
    messages.push_back(text);
  }
  void ShowQrCode(const std::string& address, const QrMatrix& code) override {
    qrCodes.push_back(address);
    EXPECT_FALSE(code.IsEmpty());
  }
  void CloseQrCode() override { ++qrClosings; }
  void ShowNotice(const std::string& text) override { notices.push_back(text); }
  std::vector<std::string> messages;
  std::vector<std::string> qrCodes;
  int qrClosings = 0;
  std::vector<std::string> notices;
};

// A program "installed" in a temp folder, with its INI and profile there too.
class MainDialogTest : public testing::Test {
 protected:
  MainDialogTest() {
    std::uint16_t freePort = 0;
    platform::FindFreePort(freePort);
    port = freePort;
    WriteIni("General", "Log", "FALSE");
    WriteIni("Paths", "PathToIniFolder", folder.Path());
    WriteIni("Paths", "PathToWorkingDir", folder.Path());
    WriteIni("Control", "Port", std::to_string(port));
  }

  void WriteIni(const char* section, const char* key, const std::string& value) {
    platform::ProfileWriteString(paths.iniFile, section, key, value.c_str());
  }

  std::string Profile(const char* key) {
    return platform::ProfileReadString(profile, "Settings", key, "<none>", 460);
  }

  // A program's application, view and dialog, the dialog not yet initialised.
  template <class View = RecordingView>
  struct Session {
    explicit Session(MainDialogTest& test)
        : app(test.paths, test.profile, test.areaName), dialog(app, view, test.mouse) {}
    Application app;
    View view;
    MainDialog dialog;
  };
  // A new program in place of the last one opened, which must have ended.
  Session<>& Open() { return session.emplace(*this); }

  TempFolder folder;
  ProgramPaths paths = BuildProgramPaths(folder.File("TVXHandvane.exe"));
  std::string profile = folder.File("Profile.INI");
  std::string areaName = UniqueAreaName();
  int port = 0;
  FakeMouse mouse;
  std::optional<Session<>> session;
};

TEST_F(MainDialogTest, InitialisationStartsTheServer) {
  auto& [app, view, dialog] = Open();
  ASSERT_TRUE(dialog.OnInitDialog());
  EXPECT_TRUE(dialog.IsRunning());
  EXPECT_EQ(view.TimerPeriodMs(), 200u);
  EXPECT_EQ(dialog.State().statusText, "Working...");
  EXPECT_EQ(dialog.State().fields.port, port);
  EXPECT_EQ(dialog.State().fields.defaultIndexFile, "index.htm");
  EXPECT_TRUE(dialog.State().live.offScreen);
  EXPECT_EQ(dialog.State().selectedPointer, 0);
  EXPECT_TRUE(view.messages.empty());

  platform::ClientSocket client;
  EXPECT_TRUE(client.Connect(static_cast<std::uint16_t>(port)));

  dialog.OnOK();
  dialog.OnDestroy();  // the window's destruction runs the sequence again
  EXPECT_TRUE(view.HasEnded());
  EXPECT_FALSE(dialog.IsRunning());
  EXPECT_EQ(Profile("PTO"), "10");
  EXPECT_EQ(app.channel.GetHeader(), nullptr);
}

TEST_F(MainDialogTest, StartWhileRunningAndResetWhileStopped) {
  auto& [app, view, dialog] = Open();
  ASSERT_TRUE(dialog.OnInitDialog());

  dialog.Start();
  EXPECT_EQ(view.messages, std::vector<std::string>{"Server Already Launched"});
  EXPECT_TRUE(dialog.IsRunning());

  dialog.Stop();
  EXPECT_EQ(dialog.State().statusText, "Stopped.");
  EXPECT_EQ(view.TimerPeriodMs(), 0u);
  dialog.Vibrate(0xA3);  // queued while stopped: the start discards it
  EXPECT_EQ(app.protocol.ReadState().requestedCommand[0], 0xA3);
  dialog.Reset();
  EXPECT_EQ(view.messages.back(), "Server not Launched");
  EXPECT_TRUE(dialog.IsRunning());
  EXPECT_EQ(dialog.State().statusText, "Working...");
  EXPECT_EQ(app.protocol.ReadState().requestedCommand[0], 0);
  dialog.OnCancel();
}

TEST_F(MainDialogTest, SelectionIsStoredAtOnceAndRestoredAfterARestart) {
  {
    auto& [app, view, dialog] = Open();
    ASSERT_TRUE(dialog.OnInitDialog());
    dialog.SelectPointer(7);
    EXPECT_EQ(app.settings.selectedPointer, 7);
    EXPECT_EQ(platform::ProfileReadString(paths.iniFile, "Control", "SelectedPointer", "", 16),
              "7");
    dialog.Vibrate(0xA3);
    EXPECT_EQ(app.protocol.ReadState().requestedCommand[7], 0xA3);
    dialog.OnOK();
  }
  auto& [app, view, dialog] = Open();
  ASSERT_TRUE(dialog.OnInitDialog());
  EXPECT_EQ(dialog.State().selectedPointer, 7);
  dialog.OnOK();
}

// The console has no window to lay the overlay over the screen: the stored
// setting is not taken, and switching on is refused.
TEST_F(MainDialogTest, PointerOverlayNeedsAWindow) {
  WriteIni("Control", "ShowPointers", "1");
  auto& [app, view, dialog] = Open();
  ASSERT_TRUE(dialog.OnInitDialog());
  EXPECT_FALSE(dialog.State().showPointers);
  dialog.SetPointerOverlay(true);
  EXPECT_FALSE(dialog.State().showPointers);
  EXPECT_TRUE(view.notices.back().starts_with("The pointer overlay needs the window"));
  dialog.OnCancel();
}

// With AccessKey=auto every start makes a key of its own, which the key file
// holds for Codeplate while the program runs; a key of the operator's is
// taken as it is and needs no key file.
TEST_F(MainDialogTest, AutomaticAccessKeyIsNewAtEveryStartAndPublishedWhileRunning) {
  WriteIni("Control", "AccessKey", "auto");
  std::vector<std::string> keys;
  for (int start = 0; start < 2; ++start) {
    auto& [app, view, dialog] = Open();
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
  auto& [app, view, dialog] = Open();
  ASSERT_TRUE(dialog.OnInitDialog());
  EXPECT_EQ(dialog.AccessKey(), "Room-12");
  EXPECT_FALSE(platform::PathExists(paths.keyFile));
  dialog.OnCancel();
}

// The selection holds for the run; the operator hears that it was not kept.
TEST_F(MainDialogTest, SettingsThatCannotBeSavedAreReported) {
  auto& [app, view, dialog] = Open();
  ASSERT_TRUE(dialog.OnInitDialog());
  // Folders where the files go: no write can replace them.
  std::filesystem::remove(paths.iniFile);
  std::filesystem::create_directory(paths.iniFile);
  std::filesystem::create_directory(profile);

  dialog.SelectPointer(7);
  EXPECT_EQ(app.settings.selectedPointer, 7);
  ASSERT_GE(view.notices.size(), 2u);
  EXPECT_EQ(view.notices[view.notices.size() - 2], "Pointer 07 selected.");
  EXPECT_TRUE(
      view.notices.back().starts_with("The setting could not be saved in " + paths.iniFile + ": "))
      << view.notices.back();
  dialog.OnOK();
  const std::string notSaved = "The settings could not be saved in " + profile + ": ";
  EXPECT_TRUE(std::any_of(view.notices.begin(), view.notices.end(),
                          [&](const std::string& notice) { return notice.starts_with(notSaved); }));
}

TEST_F(MainDialogTest, StoredTimeoutAbove10000FailsTheCheckButStillStarts) {
  platform::ProfileWriteString(profile, "Settings", "PTO", "20000");
  auto& [app, view, dialog] = Open();
  ASSERT_TRUE(dialog.OnInitDialog());
  EXPECT_EQ(view.messages,
            std::vector<std::string>{"Please enter an integer between 0 and 10000."});
  EXPECT_TRUE(dialog.IsRunning());
  dialog.OnOK();
}

TEST_F(MainDialogTest, FailedSharedMemoryEndsEarlyWithoutOverwritingSettings) {
  WriteIni("Paths", "PathToIniFolder", folder.File("no-such-folder"));
  platform::ProfileWriteString(profile, "Settings", "Defindex", "start.htm");
  auto& [app, view, dialog] = Open();
  EXPECT_FALSE(dialog.OnInitDialog());
  dialog.OnDestroy();
  EXPECT_EQ(view.messages, std::vector<std::string>{"Can not create the TVXHDV shared memory!"});
  EXPECT_TRUE(view.HasEnded());
  EXPECT_FALSE(dialog.IsRunning());
  EXPECT_EQ(Profile("Defindex"), "start.htm");
  EXPECT_EQ(Profile("PTO"), "<none>");
}

// A second copy leaves the running one's log as it is and names its process.
TEST_F(MainDialogTest, SecondCopyLeavesTheRunningOnesFilesAndNamesIt) {
  WriteIni("General", "Log", "TRUE");
  auto& [running, runningView, first] = Open();
  ASSERT_TRUE(first.OnInitDialog());
  const std::string log = TempFolder::ReadAll(paths.logFile);
  ASSERT_NE(log.find("TVXHandvane started"), std::string::npos);

  Session second(*this);
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

// Switching on needs a display; a limit of the display's is said once.
TEST_F(MainDialogTest, CursorEmulationNeedsADisplayAndSaysItsLimitOnce) {
  auto& [app, view, dialog] = Open();
  ASSERT_TRUE(dialog.OnInitDialog());

  dialog.SetCursorEmulation(true);
  EXPECT_EQ(view.messages,
            std::vector<std::string>{"Cursor emulation is not available: no display"});
  EXPECT_FALSE(dialog.State().cursorEmulation);
  EXPECT_FALSE(app.settings.cursorEmulation);

  mouse.available = true;
  dialog.SetCursorEmulation(true);
  EXPECT_TRUE(app.settings.cursorEmulation);
  // A tap of the selected pointer, both reports within one tick.
  app.protocol.HandlePointerReport(ReportPath(0, 1, 0x8000, 0x8000, true, false, 0));
  app.protocol.HandlePointerReport(ReportPath(0, 2, 0x8000, 0x8000, false, false, 0));
  EXPECT_EQ(mouse.SentFlags(2), (std::vector<std::uint32_t>{0x8003, 0x8005}));
  dialog.SetCursorEmulation(false);
  EXPECT_FALSE(app.settings.cursorEmulation);

  mouse.limit = "only over X applications";
  view.messages.clear();
  for (const bool on : {true, false, true}) dialog.SetCursorEmulation(on);
  EXPECT_EQ(view.messages, std::vector<std::string>{"only over X applications"});
  EXPECT_TRUE(app.settings.cursorEmulation);
  dialog.OnOK();
}

// While the display is gone emulation stays on, yet nothing reaches the
// cursor: the operator hears it once, and once when it is back.
TEST_F(MainDialogTest, ALostDisplayIsToldOnceAndItsReturnOnce) {
  auto& [app, view, dialog] = Open();
  ASSERT_TRUE(dialog.OnInitDialog());
  mouse.available = true;
  dialog.SetCursorEmulation(true);
  // The emulation's thread notes the outcome just after the event: ticks
  // until the dialog has heard, then a few more that must add nothing.
  const auto toldOnce = [&](const std::string& start) {
    const auto tickAndCount = [&] {
      dialog.Tick();
      return std::ranges::count_if(view.notices,
                                   [&](auto& text) { return text.starts_with(start); });
    };
    EXPECT_TRUE(WaitFor([&] { return tickAndCount() > 0; }, 5000)) << start;
    for (int tick = 0; tick < 2; ++tick) tickAndCount();
    return tickAndCount() == 1;
  };
  const std::string lost = "Cursor emulation: the display was lost";
  mouse.failing = true;
  app.protocol.HandlePointerReport(ReportPath(0, 1, 0x8000, 0x8000, false, false, 0));
  EXPECT_TRUE(toldOnce(lost));
  mouse.failing = false;
  app.protocol.HandlePointerReport(ReportPath(0, 2, 0x8000, 0x8000, false, false, 0));
  EXPECT_TRUE(toldOnce("Cursor emulation: the display takes input again"));
  EXPECT_TRUE(toldOnce(lost));
  dialog.OnOK();
}

// The choice is stored at once and taken at the next start; a monitor that
// went away gives the primary with one log line.
TEST_F(MainDialogTest, CursorScreenIsStoredAtOnceAndAMissingMonitorFallsBackToThePrimary) {
  WriteIni("General", "Log", "TRUE");
  const platform::ScreenRect second{1280, 0, 1920, 1080};
  mouse.monitors = {{second, false}, {{0, 0, 1280, 800}, true}};
  {
    auto& [app, view, dialog] = Open();
    ASSERT_TRUE(dialog.OnInitDialog());
    EXPECT_FALSE(mouse.area);
    // The overlay lies where the pad reaches: the primary, then the choice.
    EXPECT_EQ(dialog.State().cursorScreenArea, (platform::ScreenRect{0, 0, 1280, 800}));
    dialog.SetCursorScreen({CursorScreen::Kind::kMonitor, 2});
    EXPECT_EQ(mouse.area, second);
    EXPECT_EQ(dialog.State().cursorScreenArea, second);
    dialog.OnOK();
  }
  mouse.monitors.resize(1);
  auto& [app, view, dialog] = Open();
  ASSERT_TRUE(dialog.OnInitDialog());
  dialog.Tick();
  dialog.Tick();
  EXPECT_FALSE(mouse.area);
  EXPECT_EQ(dialog.State().cursorScreenArea, second);
  const std::vector<std::string> log = LogMessages(paths.logFile);
  EXPECT_EQ(std::ranges::count(log, "CursorScreen 2: no such monitor; the pad covers the primary"),
            1);
  mouse.monitors = {{{0, 0, 1280, 800}, true}, {second, false}};
  dialog.Tick();
  EXPECT_EQ(mouse.area, second);
  // Stopped, there is no tick: the window's word on a change is enough.
  dialog.Stop();
  mouse.monitors[1].area.width = 2560;
  dialog.MonitorsChanged();
  EXPECT_EQ(dialog.State().cursorScreenArea, (platform::ScreenRect{1280, 0, 2560, 1080}));
  dialog.OnOK();
}

// Pointer 0 presses L; each way of losing the cursor lets go of it there.
TEST_F(MainDialogTest, TheSelectedPhoneLetsGoOfTheButtonsWhenItLosesTheCursor) {
  auto& [app, view, dialog] = Open();
  ASSERT_TRUE(dialog.OnInitDialog());
  mouse.available = true;
  int frame = 0;
  const auto pressAndLose = [&](auto lose) {
    dialog.SetCursorEmulation(true);
    app.protocol.HandlePointerReport(ReportPath(0, ++frame, 0x8000, 0x8000, true, false, 0));
    mouse.SentFlags(2 * frame - 1);  // pressed before it is lost
    lose();
  };
  pressAndLose([&] { dialog.SetCursorEmulation(false); });
  pressAndLose([&] { dialog.SelectPointer(5); });
  dialog.SelectPointer(0);
  pressAndLose([&] { dialog.Stop(); });
  dialog.Start();
  pressAndLose([&] { dialog.OnOK(); });
  EXPECT_EQ(mouse.SentFlags(8),
            (std::vector<std::uint32_t>{0x8003, 4, 0x8003, 4, 0x8003, 4, 0x8003, 4}));
}

// The address line follows the server: the running port on every address
// of the PC, the likeliest first (a container network's last); a click shows
// the code of that first one, and only while phones can use it.
TEST_F(MainDialogTest, AddressLineFollowsStartStopAndPortAndItsClickShowsTheCode) {
  using platform::AdapterKind;
  auto& [app, view, dialog] = Open();
  app.localAddresses = [] {
    return std::vector<platform::NetworkAddress>{
        {"172.17.0.1", "docker0", false, AdapterKind::kVirtual},
        {"192.168.1.20", "wlan0", true, AdapterKind::kWireless}};
  };
  ASSERT_TRUE(dialog.OnInitDialog());
  const std::string first = "http://192.168.1.20:" + std::to_string(port) + "/";
  EXPECT_EQ(dialog.State().phoneAddressText,
            "Phones open " + first +
                "  (click for its QR code)\nor http://172.17.0.1:" + std::to_string(port) + "/");
  dialog.ShowPhoneAddressCode();
  EXPECT_EQ(view.qrCodes, std::vector<std::string>{first});

  // The code's window goes with its address.
  EXPECT_EQ(view.qrClosings, 0);
  dialog.Stop();
  EXPECT_EQ(view.qrClosings, 1);
  EXPECT_EQ(dialog.State().phoneAddressText.rfind("The server is not running", 0), 0u);
  dialog.ShowPhoneAddressCode();
  EXPECT_EQ(view.qrCodes.size(), 1u);

  std::uint16_t otherPort = 0;
  platform::FindFreePort(otherPort);
  dialog.SetPort(otherPort);
  app.localAddresses = [] {
    return std::vector<platform::NetworkAddress>{
        {"192.168.1.20", "eth0", true, AdapterKind::kEthernet}};
  };
  dialog.Start();
  ASSERT_TRUE(dialog.IsRunning());
  EXPECT_EQ(dialog.State().phoneAddressText,
            "Phones open http://192.168.1.20:" + std::to_string(otherPort) +
                "/  (click for its QR code)");

  // Without a network the loopback address is no use to a phone: no code.
  app.localAddresses = [] { return std::vector<platform::NetworkAddress>{}; };
  dialog.Stop();
  dialog.Start();
  EXPECT_EQ(dialog.State().phoneAddressText,
            "No network: phones cannot connect until this PC is on one.\n"
            "Only a browser on this PC opens http://127.0.0.1:" +
                std::to_string(otherPort) + "/");
  dialog.ShowPhoneAddressCode();
  EXPECT_EQ(view.qrCodes.size(), 1u);
  dialog.OnOK();
}

}  // namespace
