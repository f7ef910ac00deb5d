// The console's command language against the dialog and a fake session.
#include "app/console/console_commands.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/main_dialog.h"
#include "tests/app/fake_mouse.h"
#include "tests/app/fake_session.h"
#include "tests/app/recording_view.h"

namespace {

class ConsoleCommandsTest : public testing::Test {
 protected:
  ConsoleCommandsTest() { EXPECT_TRUE(dialog.OnInitDialog()); }

  // The command's result and the last line it printed.
  std::string Run(const std::string& line, CommandResult expected = CommandResult::kDone) {
    view.messages.clear();
    view.notices.clear();
    EXPECT_EQ(RunConsoleCommand(line, dialog, view), expected) << line;
    const auto& lines = view.messages.empty() ? view.notices : view.messages;
    return lines.empty() ? "" : lines.back();
  }

  FakeMouse mouse;
  FakeSession session{mouse};
  RecordingView view;
  MainDialog dialog{session, view, mouse};
};

// Words in any case reach the dialog; anything else gets its usage line
// and changes nothing.
TEST_F(ConsoleCommandsTest, CommandsReachTheDialogAndBadWordsChangeNothing) {
  EXPECT_EQ(Run("  SELECT 7 "), "Pointer 07 selected.");
  EXPECT_EQ(session.settings.selectedPointer, 7);
  for (const char* bad : {"select 7x", "select +7", "select 80", "select", "select 1 2"}) {
    EXPECT_TRUE(Run(bad).starts_with("select: ")) << bad;
  }
  EXPECT_EQ(session.settings.selectedPointer, 7);

  Run("vibrate Short-Single");
  Run("vibrate a5");
  EXPECT_TRUE(Run("vibrate A6").starts_with("vibrate: unknown pattern \"A6\". Usage: vibrate "));
  EXPECT_NE(session.calls.find("vibrate:160 vibrate:165 "), std::string::npos);

  EXPECT_EQ(Run("emulate maybe"), "emulate: on or off, not \"maybe\". Usage: emulate on|off");
  EXPECT_EQ(Run("bogus", CommandResult::kUnknown),
            "bogus: unknown command. Type help for the commands.");
  EXPECT_EQ(Run(""), "");
}

TEST_F(ConsoleCommandsTest, ScreenListsTheMonitorsAndRefusesOneThatIsNotThere) {
  mouse.monitors = {{{1280, 0, 1920, 1080}, false}, {{0, 0, 1280, 800}, true}};
  EXPECT_EQ(Run("screen"),
            "The pad covers: primary. Monitors:\n  1  1280x800 at 0,0  primary\n"
            "  2  1920x1080 at 1280,0");
  EXPECT_TRUE(Run("screen 3").starts_with("screen: there is no monitor 3"));
  EXPECT_TRUE(Run("screen left").starts_with("screen: \"left\" is no monitor"));
  EXPECT_EQ(Run("screen ALL"), "Cursor screen all.");
  EXPECT_EQ(session.settings.cursorScreen, "all");
}

TEST_F(ConsoleCommandsTest, StatusAndListShowTheDialogsState) {
  EXPECT_EQ(Run("status"),
            "Status: Working... | Active Conn.: 0 | Requests: 0 | KB Sent: 0 | KB Received: 0 | "
            "Visitors: 0 | Requests/Sec: 0 | X: 0 | Y: 0 | ButtonL: 0 | ButtonR: 0 | "
            "Off-Screen: 1 | Pointer: 00 | Cursor: off");
  EXPECT_EQ(Run("list"), "No pointer has reported in the last second (selected: Pointer 00).");
  session.reporting = {{0, {100, 200, 1, 0, 0}, false}, {12, {3, 4, 0, 1, 0}, true}};
  EXPECT_EQ(Run("list"),
            "Pointers that reported in the last second:\n"
            "* Pointer 00  X   100  Y   200  ButtonL 1  ButtonR 0\n"
            "  Pointer 12  X     3  Y     4  ButtonL 0  ButtonR 1  two phones");
  Run("exit", CommandResult::kExit);
  EXPECT_TRUE(view.HasEnded());
  EXPECT_FALSE(dialog.IsRunning());
}

// The teacher's hand: a name keeps its inner spaces, a refused one leaves
// the name before it, freeing clears it; the notices never carry a name.
TEST_F(ConsoleCommandsTest, NameFreeAndLabelsReachTheSession) {
  EXPECT_EQ(Run("name 17   Mia  Rose "), "Pointer 17 renamed.");
  EXPECT_EQ(session.names.Get(17), "Mia  Rose");
  EXPECT_EQ(Run("name 17 " + std::string(25, 'x')),
            "Pointer 17 keeps its name: " +
                std::string(RefusalReason(PointerNames::Refusal::kTooLong)) + ".");
  EXPECT_EQ(session.names.Get(17), "Mia  Rose");
  session.reporting = {{17, {1, 2, 0, 0, 0}, false}};
  EXPECT_TRUE(Run("list").ends_with("ButtonR 0  Mia  Rose"));

  EXPECT_EQ(Run("labels NUMBERS"), "Pointers shown by number only.");
  EXPECT_NE(session.calls.find("store-labels:numbers "), std::string::npos);
  EXPECT_TRUE(Run("list").ends_with("ButtonR 0"));
  EXPECT_EQ(dialog.State().pointerLabels[17], "17");
  Run("labels names");
  EXPECT_EQ(dialog.State().pointerLabels[17], "17 Mia  Rose");

  for (const char* bad : {"labels both", "name", "name 80 Mia", "name x Mia", "free", "free 99"}) {
    EXPECT_TRUE(Run(bad).starts_with(std::string(bad).substr(0, 4))) << bad;
  }
  EXPECT_EQ(session.names.Get(17), "Mia  Rose");
  EXPECT_EQ(Run("free 17"), "Number 17 freed: its phone is told to pick another number.");
  EXPECT_NE(session.calls.find("free:17 "), std::string::npos);
  EXPECT_EQ(dialog.State().pointerLabels[17], "17");
  Run("name 5 Ali");
  EXPECT_EQ(Run("name 5"), "Pointer 05 renamed.");
  EXPECT_EQ(session.names.Get(5), "");
}

// A typed NUL must not cut the line short, nor an escape sequence reach the
// terminal: both come back escaped; line ends and tabs stay.
TEST(ConsoleViewTest, PrintsControlBytesEscaped) {
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  ConsoleView view(out);
  constexpr char kTyped[] = "select: \"3\0junk\"\x1b[2J\r\x7f\n\tnext";
  view.ShowMessageBox(std::string(kTyped, sizeof kTyped - 1), "");
  view.ShowErrorLogLine(std::string_view("a\0b\x01", 4));
  std::rewind(out);
  char text[200] = "";
  const std::size_t length = std::fread(text, 1, sizeof text, out);
  std::fclose(out);
  EXPECT_EQ(std::string(text, length),
            "select: \"3\\0junk\"\\x1b[2J\\x0d\\x7f\n\tnext\nError log: a\\0b\\x01\n");
}

}  // namespace
