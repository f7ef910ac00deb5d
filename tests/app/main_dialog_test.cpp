// The dialog's decisions against a fake session: no server, area or files.
#include "app/main_dialog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/app/fake_mouse.h"
#include "tests/app/fake_session.h"
#include "tests/app/recording_view.h"
#include "tests/support/program_run.h"

namespace {

class MainDialogTest : public testing::Test {
 protected:
  bool Told(const std::string& start) const {
    return std::ranges::any_of(view.notices, [&](auto& text) { return text.starts_with(start); });
  }

  FakeMouse mouse;
  FakeSession session{mouse};
  RecordingView view;
  MainDialog dialog{session, view, mouse};
};

// Every way out saves the fields, stops a running server and closes the
// session; the window's destruction runs the sequence again.
TEST_F(MainDialogTest, InitialisationStartsAndEveryWayOutSavesStopsAndCloses) {
  ASSERT_TRUE(dialog.OnInitDialog());
  EXPECT_TRUE(dialog.IsRunning());
  EXPECT_EQ(view.TimerPeriodMs(), 200u);
  EXPECT_EQ(dialog.State().statusText, "Working...");
  EXPECT_TRUE(dialog.State().live.offScreen);
  EXPECT_EQ(view.notices.back(), "Server started on port 8080.");
  dialog.OnOK();
  dialog.OnDestroy();
  EXPECT_TRUE(view.HasEnded());
  EXPECT_FALSE(dialog.IsRunning());
  EXPECT_EQ(session.calls, "key start:8080 stop close close ");
  EXPECT_EQ(session.saved.size(), 2u);
  EXPECT_TRUE(view.messages.empty());
}

// A second copy, or no area: the operator hears why, nothing is started
// and the stored settings are not overwritten.
TEST_F(MainDialogTest, AnOpeningThatFailsEndsWithoutStartingOrSaving) {
  session.openOutcome = OpenOutcome::kAlreadyRunning;
  session.openWhy = "TVXHandvane already runs (process 7): use that one.";
  EXPECT_FALSE(dialog.OnInitDialog());
  dialog.OnDestroy();
  EXPECT_EQ(view.messages, std::vector<std::string>{"Can not create the TVXHDV shared memory!\n" +
                                                    session.openWhy});
  EXPECT_TRUE(Told("The TVXHDV shared memory belongs to a running server: TVXHandvane already"));
  EXPECT_TRUE(view.HasEnded());
  EXPECT_EQ(session.calls, "close close ");
  EXPECT_TRUE(session.saved.empty());
}

TEST_F(MainDialogTest, StartStopAndResetSayWhatTheyCouldNotDo) {
  ASSERT_TRUE(dialog.OnInitDialog());
  dialog.Start();
  EXPECT_EQ(view.messages, std::vector<std::string>{"Server Already Launched"});
  dialog.Stop();
  EXPECT_EQ(dialog.State().statusText, "Stopped.");
  EXPECT_EQ(view.TimerPeriodMs(), 0u);
  dialog.Reset();
  EXPECT_EQ(view.messages.back(), "Server not Launched");
  EXPECT_TRUE(dialog.IsRunning());
  EXPECT_EQ(session.calls, "key start:8080 stop reset start:8080 ");

  dialog.Stop();
  session.startOutcome = StartOutcome::kPortInUse;
  dialog.Start();
  EXPECT_FALSE(dialog.IsRunning());
  EXPECT_EQ(dialog.State().statusText, "Stopped.");
  EXPECT_TRUE(Told("The server is not running: port 8080 is in use by another program."));
  session.startOutcome = StartOutcome::kNoAccessKey;
  dialog.Start();
  EXPECT_EQ(dialog.State().statusText, "Stopped.");
  EXPECT_TRUE(Told("The server is not running: AccessKey asks for a new key"));
  dialog.OnCancel();
}

// The stored values pass the same range checks as typed ones; the start
// goes ahead with what was taken.
TEST_F(MainDialogTest, StoredTimeoutAbove10000FailsTheCheckButStillStarts) {
  session.settings.fields.persistenceTimeoutSeconds = 20000;
  ASSERT_TRUE(dialog.OnInitDialog());
  EXPECT_EQ(view.messages,
            std::vector<std::string>{"Please enter an integer between 0 and 10000."});
  EXPECT_TRUE(dialog.IsRunning());
  dialog.OnOK();
}

// The selection holds for the run; the operator hears that it was not kept.
TEST_F(MainDialogTest, ChoicesAreStoredAtOnceAndAFailedWriteIsTold) {
  ASSERT_TRUE(dialog.OnInitDialog());
  dialog.SelectPointer(7);
  dialog.SelectPointer(80);  // no such pointer
  EXPECT_EQ(session.settings.selectedPointer, 7);
  EXPECT_EQ(dialog.State().selectedPointer, 7);
  EXPECT_EQ(view.notices.back(), "Pointer 07 selected.");

  session.storeResult = platform::Result(13);
  dialog.SelectPointer(9);
  EXPECT_EQ(session.settings.selectedPointer, 9);
  EXPECT_TRUE(view.notices.back().starts_with("The setting could not be saved in " +
                                              session.paths.iniFile + ": "))
      << view.notices.back();
  dialog.OnOK();
  EXPECT_TRUE(Told("The settings could not be saved in profile.ini: "));
  EXPECT_EQ(session.calls, "key start:8080 store-pointer:7 store-pointer:9 stop close ");
}

// The selected pointer 0 presses L; each way of losing the cursor lets go of it.
TEST_F(MainDialogTest, TheSelectedPhoneLetsGoOfTheButtonsWhenItLosesTheCursor) {
  ASSERT_TRUE(dialog.OnInitDialog());
  mouse.available = true;
  std::size_t sent = 0;
  const auto pressAndLose = [&](auto lose) {
    dialog.SetCursorEmulation(true);
    session.SelectedReports(1);
    mouse.SentFlags(++sent);  // pressed before it is lost
    lose();
    mouse.SentFlags(++sent);
  };
  pressAndLose([&] { dialog.SetCursorEmulation(false); });
  pressAndLose([&] { dialog.SelectPointer(5); });
  dialog.SelectPointer(0);
  pressAndLose([&] {
    mouse.ctrl = mouse.shift = true;
    dialog.Tick();
    mouse.ctrl = mouse.shift = false;
  });
  EXPECT_EQ(view.notices.back(), "Cursor emulation off: Ctrl+Shift was held.");
  EXPECT_FALSE(dialog.State().cursorEmulation);
  pressAndLose([&] { dialog.Stop(); });
  dialog.Start();
  pressAndLose([&] { dialog.OnOK(); });
  EXPECT_EQ(mouse.SentFlags(10),
            (std::vector<std::uint32_t>{0x8003, 4, 0x8003, 4, 0x8003, 4, 0x8003, 4, 0x8003, 4}));
}

// Switching on needs a display; a limit of the display's is said once.
TEST_F(MainDialogTest, CursorEmulationNeedsADisplayAndSaysItsLimitOnce) {
  ASSERT_TRUE(dialog.OnInitDialog());
  dialog.SetCursorEmulation(true);
  EXPECT_EQ(view.messages,
            std::vector<std::string>{"Cursor emulation is not available: no display"});
  EXPECT_FALSE(dialog.State().cursorEmulation);

  mouse.available = true;
  mouse.limit = "only over X applications";
  view.messages.clear();
  for (const bool on : {true, false, true}) dialog.SetCursorEmulation(on);
  EXPECT_EQ(view.messages, std::vector<std::string>{"only over X applications"});
  EXPECT_EQ(session.logLines.back(), "only over X applications");
  EXPECT_TRUE(dialog.State().cursorEmulation);
  dialog.OnOK();
}

// While the display is gone emulation stays on, yet nothing reaches the
// cursor: the operator hears it once, and once when it is back.
TEST_F(MainDialogTest, ALostDisplayIsToldOnceAndItsReturnOnce) {
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
  session.SelectedReports(0);
  EXPECT_TRUE(toldOnce(lost));
  mouse.failing = false;
  session.SelectedReports(0);
  EXPECT_TRUE(toldOnce("Cursor emulation: the display takes input again"));
  EXPECT_TRUE(toldOnce(lost));
  dialog.OnOK();
}

// The choice is stored at once; a monitor that went away gives the primary
// with one log line, and the choice comes back with its monitor.
TEST_F(MainDialogTest, CursorScreenIsStoredAtOnceAndAMissingMonitorFallsBackToThePrimary) {
  const platform::ScreenRect second{1280, 0, 1920, 1080};
  mouse.monitors = {{second, false}, {{0, 0, 1280, 800}, true}};
  const platform::ScreenRect primary{0, 0, 1280, 800};
  ASSERT_TRUE(dialog.OnInitDialog());
  // The overlay lies where the pad reaches: the primary, then the choice.
  EXPECT_EQ(mouse.area, primary);
  EXPECT_EQ(dialog.State().cursorScreenArea, primary);
  dialog.SetCursorScreen({CursorScreen::Kind::kMonitor, 2});
  EXPECT_EQ(mouse.area, second);
  EXPECT_EQ(dialog.State().cursorScreenArea, second);
  EXPECT_EQ(session.settings.cursorScreen, "2");

  mouse.monitors = {{primary, true}};
  dialog.Tick();
  dialog.Tick();
  EXPECT_EQ(mouse.area, primary);
  EXPECT_EQ(std::ranges::count(session.logLines,
                               "CursorScreen 2: no such monitor; the pad covers the primary"),
            1);
  mouse.monitors = {{{0, 0, 1280, 800}, true}, {second, false}};
  dialog.Tick();
  EXPECT_EQ(mouse.area, second);
  // Stopped, there is no tick: the window's word on a change is enough.
  dialog.Stop();
  mouse.monitors[1].area.width = 2560;
  dialog.MonitorsChanged();
  EXPECT_EQ(dialog.State().cursorScreenArea, (platform::ScreenRect{1280, 0, 2560, 1080}));
  EXPECT_NE(session.calls.find("store-screen:2 "), std::string::npos);
  dialog.OnOK();
}

// The address line follows the server: the running port on every address
// of the PC, the likeliest first (a container network's last); a click shows
// the code of that first one, and only while phones can use it. Escape
// closes an open code's window first, and the dialog only when none is open.
TEST_F(MainDialogTest, AddressLineFollowsStartStopAndPortAndItsClickShowsTheCode) {
  using platform::AdapterKind;
  session.addresses = {{"172.17.0.1", "docker0", false, AdapterKind::kVirtual},
                       {"192.168.1.20", "wlan0", true, AdapterKind::kWireless}};
  ASSERT_TRUE(dialog.OnInitDialog());
  EXPECT_EQ(dialog.State().phoneAddressText,
            "Phones open http://192.168.1.20:8080/  (click for its QR code)\n"
            "or http://172.17.0.1:8080/");
  dialog.ShowPhoneAddressCode();
  EXPECT_EQ(view.qrCodes, std::vector<std::string>{"http://192.168.1.20:8080/"});
  dialog.OnEscape();  // closes the code's window, not the dialog
  EXPECT_FALSE(view.qrOpen);
  EXPECT_FALSE(view.HasEnded());

  // The code's window goes with its address.
  dialog.ShowPhoneAddressCode();
  dialog.Stop();
  EXPECT_FALSE(view.qrOpen);
  EXPECT_TRUE(dialog.State().phoneAddressText.starts_with("The server is not running"));
  dialog.ShowPhoneAddressCode();
  EXPECT_EQ(view.qrCodes.size(), 2u);

  dialog.SetPort(9000);
  session.addresses = {{"192.168.1.20", "eth0", true, AdapterKind::kEthernet}};
  dialog.Start();
  EXPECT_EQ(dialog.State().phoneAddressText,
            "Phones open http://192.168.1.20:9000/  (click for its QR code)");

  // Without a network the loopback address is no use to a phone: no code.
  session.addresses.clear();
  dialog.Stop();
  dialog.Start();
  EXPECT_EQ(dialog.State().phoneAddressText,
            "No network: phones cannot connect until this PC is on one.\n"
            "Only a browser on this PC opens http://127.0.0.1:9000/");
  dialog.ShowPhoneAddressCode();
  EXPECT_EQ(view.qrCodes.size(), 2u);
  dialog.OnEscape();  // no code open: the dialog ends
  EXPECT_TRUE(view.HasEnded());
}

// The console has no window to lay the overlay over the screen: the stored
// setting is not taken, and switching on is refused. A page that cannot be
// loaded keeps the one served so far.
TEST_F(MainDialogTest, PointerOverlayNeedsAWindowAndAFailedPageLoadIsTold) {
  session.settings.showPointers = true;
  session.page.reset();
  ASSERT_TRUE(dialog.OnInitDialog());
  EXPECT_FALSE(dialog.State().showPointers);
  EXPECT_TRUE(Told("The page could not be loaded from /nowhere/TVXHandvane.TXT"));
  dialog.SetPointerOverlay(true);
  EXPECT_FALSE(dialog.State().showPointers);
  EXPECT_TRUE(view.notices.back().starts_with("The pointer overlay needs the window"));
  session.page = 512;
  dialog.ReloadPage();
  EXPECT_EQ(view.notices.back(), "Page reloaded (512 bytes).");
  dialog.OnCancel();
}

}  // namespace
