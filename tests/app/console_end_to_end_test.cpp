// TVXHandvane run as a program: commands on its standard input, reports over
// HTTP, the answers on its standard output.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "common/program_paths.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "platform/socket.h"
#include "platform/socket_client.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_folder.h"

namespace {

class ConsoleEndToEndTest : public testing::Test {
 protected:
  void SetUp() override {
    program = folder.File(TVX_PROGRAM_FILE_NAME);
    port = PlaceProgramCopy(program, folder.Path());
    EXPECT_NE(port, 0);
    EXPECT_TRUE(platform::ProfileWriteString(BuildProgramPaths(program).iniFile, "Control",
                                             "SelectedPointer", "3"));
  }

  bool StartProgram() {
    if (!child.Start(program, {"--console"}, output, true)) return false;
    // The rendezvous file appears once the dialog's initialisation has run.
    return WaitFor([&] { return platform::PathExists(folder.File("TVXHDVMemory.INI")); }, 30000);
  }

  // One report on a connection of its own; the reply's body.
  std::string Report(const std::string& fields) {
    return FetchBody(static_cast<std::uint16_t>(port), "/tolvex" + fields);
  }

  std::string Output() { return ProgramOutput(output); }

  // Writes the command until the output shows text: for what follows reports
  // that must be less than a second old.
  bool AskUntil(const std::string& command, const std::string& text) {
    return WaitFor(
        [&] {
          EXPECT_TRUE(child.WriteInput(command));
          return Output().find(text) != std::string::npos;
        },
        10000);
  }

  bool OutputHas(const std::string& text, int timeoutMs = 10000) {
    return WaitFor([&] { return Output().find(text) != std::string::npos; }, timeoutMs);
  }

  TempFolder folder;
  std::string program;
  std::string output = folder.File("output.txt");
  // The command ends the program with exit code 0.
  void EndsCleanlyAfter(const char* command) {
    EXPECT_TRUE(child.WriteInput(command));
    int exitCode = -1;
    ASSERT_TRUE(child.WaitForExit(20000, exitCode));
    EXPECT_EQ(exitCode, 0);
  }

  int port = 0;
  platform::ChildProcess child;
};

TEST_F(ConsoleEndToEndTest, CommandsReportsAndStatus) {
  ASSERT_TRUE(StartProgram()) << Output();
  EXPECT_TRUE(OutputHas("TVXHandvane 2.0.1.0"));

  // Layout 1, screen 0, pointer 3, frame 1, X 4096, Y 8192, left down, AckMode 2.
  EXPECT_EQ(Report("10003000110002000100200"), "0000");
  EXPECT_TRUE(child.WriteInput("vibrate normal-single\n"));
  EXPECT_TRUE(child.WriteInput("select 3\n"));  // a round trip: the vibrate has been taken
  EXPECT_TRUE(OutputHas("Pointer 03 selected."));
  EXPECT_EQ(Report("10003000210002000100200"), "01A1");
  EXPECT_EQ(Report("10003000310002000100201"), "0100");

  // The status line follows the timer; ask until it shows the report.
  const std::string expected =
      "X: 4096 | Y: 8192 | ButtonL: 1 | ButtonR: 0 | Off-Screen: 0 | Pointer: 03 | Cursor: off";
  EXPECT_TRUE(AskUntil("status\n", expected)) << Output();
  EXPECT_TRUE(OutputHas("Status: Working... | Active Conn.: "));

  EXPECT_TRUE(child.WriteInput("frobnicate\n"));
  EXPECT_TRUE(OutputHas("frobnicate: unknown command. Type help for the commands.\n"));
  EndsCleanlyAfter("QUIT\n");
}

TEST_F(ConsoleEndToEndTest, EveryCommandConfirmsAndBadArgumentsChangeNothing) {
  ASSERT_TRUE(StartProgram()) << Output();
  const std::string portText = std::to_string(port);
  EXPECT_TRUE(OutputHas("Type help for the commands.\nServer started on port " + portText + "."));

  for (const char* bad : {"select 7x\n", "select 80\n", "select\n", "vibrate\n", "vibrate medium\n",
                          "emulate\n", "emulate maybe\n", "stop now\n"}) {
    EXPECT_TRUE(child.WriteInput(bad));
  }
  const char* usages[] = {"select: \"7x\" is not a pointer number. Usage: select N",
                          "select: there is no pointer 80, pointers are 0 to 79. Usage: select N",
                          "select: missing argument. Usage: select N",
                          "vibrate: missing argument. Usage: vibrate short-single|normal-single|",
                          "vibrate: unknown pattern \"medium\". Usage: vibrate ",
                          "emulate: missing argument. Usage: emulate on|off",
                          "emulate: on or off, not \"maybe\". Usage: emulate on|off",
                          "stop: too many words. Usage: stop"};
  for (const char* usage : usages) EXPECT_TRUE(OutputHas(usage)) << usage;
  // Pointer 3 (from the INI) is still selected, and the server still runs.
  EXPECT_TRUE(AskUntil("status\n", "Status: Working... |")) << Output();
  EXPECT_TRUE(OutputHas("| Pointer: 03 |"));

  // Pointers 3 and 5 report; list shows both, the selected one marked.
  EXPECT_TRUE(WaitFor(
      [&] {
        Report("10003000110002000100200");
        Report("10005000130004000000002");
        EXPECT_TRUE(child.WriteInput("list\n"));
        return Output().find(
                   "Pointers that reported in the last second:\n"
                   "* Pointer 03  X  4096  Y  8192  ButtonL 1  ButtonR 0\n"
                   "  Pointer 05  X 12288  Y 16384  ButtonL 0  ButtonR 0\n") != std::string::npos;
      },
      10000))
      << Output();

  EXPECT_TRUE(child.WriteInput("select 7\nvibrate A2\nemulate off\nreread\nstop\nreset\n"));
  EXPECT_TRUE(OutputHas("Pointer 07 selected."));
  EXPECT_TRUE(OutputHas(
      "Vibrate Long Single (A2) queued for pointer 07; no phone has reported on it in the last "
      "second."));
  EXPECT_TRUE(OutputHas("Cursor emulation off."));
  const auto pageSize = TempFolder::ReadAll(folder.File("TVXHandvane.TXT")).size();
  EXPECT_TRUE(OutputHas("Page reloaded (" + std::to_string(pageSize) + " bytes)."));
  EXPECT_TRUE(
      OutputHas("Server stopped.\nServer not Launched\nStatistics reset.\nServer started on port " +
                portText + "."))
      << Output();

  EndsCleanlyAfter("exit\n");
}

// Piped input is UTF-8 whatever the console's code page: a name in several
// scripts goes in and comes back out byte for byte.
TEST_F(ConsoleEndToEndTest, ANamePipedInComesBackByteForByte) {
  ASSERT_TRUE(StartProgram()) << Output();
  const std::string name = "Zo\u00eb \u0416\u0430\u043d\u043d\u0430 \u4e2d \U0001F600";
  EXPECT_TRUE(child.WriteInput("labels names\nname 5 " + name + "\n"));
  EXPECT_TRUE(OutputHas("Pointer 05 renamed."));
  EXPECT_TRUE(WaitFor(
      [&] {
        Report("10005000130004000000002");
        EXPECT_TRUE(child.WriteInput("list\n"));
        return Output().find("  Pointer 05  X 12288  Y 16384  ButtonL 0  ButtonR 0  " + name +
                             "\n") != std::string::npos;
      },
      10000))
      << Output();
  EndsCleanlyAfter("exit\n");
}

TEST_F(ConsoleEndToEndTest, StartOnABusyPortSaysWhyAndWhatToDo) {
  const BusyPort busy(static_cast<std::uint16_t>(port));
  ASSERT_TRUE(busy.Listening());

  ASSERT_TRUE(StartProgram()) << Output();
  EXPECT_TRUE(OutputHas("Error log: ", 10000)) << Output();
  EXPECT_TRUE(OutputHas("bind(...) failure.\t[AcceptThread]\t["));
  const std::string ini = BuildProgramPaths(program).iniFile;
  EXPECT_TRUE(OutputHas("The server is not running: port " + std::to_string(port) +
                        " is in use by another program. End that program and start again, "
                        "or change Port under [Control] in " +
                        ini))
      << Output();
  EndsCleanlyAfter("quit\n");
}

TEST_F(ConsoleEndToEndTest, EndOfInputKeepsTheServerRunning) {
  ASSERT_TRUE(StartProgram()) << Output();
  child.CloseInput();
  EXPECT_TRUE(OutputHas("End of input: no more commands are read; the server runs on"));
  EXPECT_EQ(Report("10003000110002000100200"), "0000");
  int exitCode = -1;
  EXPECT_FALSE(child.WaitForExit(0, exitCode));
}

// The Linux window prints the addresses for the shell that started it but
// reads no commands there, so it does not invite any.
TEST_F(ConsoleEndToEndTest, TheLinuxWindowInvitesNoCommands) {
  if (std::string_view(TVX_PROGRAM_FILE_NAME).ends_with(".exe")) {
    GTEST_SKIP() << "the Windows window has no standard output";
  }
  EXPECT_TRUE(platform::SetEnvironment("QT_QPA_PLATFORM", "offscreen"));
  EXPECT_TRUE(platform::SetEnvironment("WAYLAND_DISPLAY", "tvx-test"));
  const bool started = child.Start(program, {}, output, true).Code() == 0;
  EXPECT_TRUE(platform::SetEnvironment("WAYLAND_DISPLAY", ""));
  ASSERT_TRUE(started);
  EXPECT_TRUE(OutputHas("TVXHandvane 2.0.1.0", 30000)) << Output();
  EXPECT_EQ(Output().find("Type help"), std::string::npos) << Output();
  ASSERT_TRUE(platform::TerminateProcessById(child.Id()));
  int exitCode = -1;
  EXPECT_TRUE(child.WaitForExit(20000, exitCode));
}

// A second copy cannot have the shared memory: the console's says why and
// ends; the window's says so in a message box, which SIGTERM (or the
// session's end) still closes. Either ends with a failure's exit code.
TEST_F(ConsoleEndToEndTest, ASecondCopyIsRefusedAndExitsWithAFailure) {
  ASSERT_TRUE(StartProgram()) << Output();
  const std::string secondOutput = folder.File("second.txt");
  int exitCode = 0;
  {
    platform::ChildProcess secondCopy;
    ASSERT_TRUE(secondCopy.Start(program, {"--console"}, secondOutput, true));
    ASSERT_TRUE(secondCopy.WaitForExit(20000, exitCode));
    EXPECT_NE(exitCode, 0);
    EXPECT_NE(TempFolder::ReadAll(secondOutput).find("already runs"), std::string::npos);
  }
  if (std::string_view(TVX_PROGRAM_FILE_NAME).ends_with(".exe")) {
    GTEST_SKIP() << "the Windows window has a test of its own";
  }
  EXPECT_TRUE(platform::SetEnvironment("QT_QPA_PLATFORM", "offscreen"));
  EXPECT_TRUE(platform::SetEnvironment("WAYLAND_DISPLAY", "tvx-test"));
  platform::ChildProcess secondCopy;
  const bool started = secondCopy.Start(program, {}, secondOutput, true).Code() == 0;
  EXPECT_TRUE(platform::SetEnvironment("WAYLAND_DISPLAY", ""));
  ASSERT_TRUE(started);
  // The box's text reaches the shell too: the box is open once it is there.
  EXPECT_TRUE(WaitFor(
      [&] { return TempFolder::ReadAll(secondOutput).find("already runs") != std::string::npos; },
      30000));
  ASSERT_TRUE(platform::TerminateProcessById(secondCopy.Id()));
  exitCode = 0;
  EXPECT_TRUE(secondCopy.WaitForExit(10000, exitCode)) << "the box kept the program running";
  EXPECT_NE(exitCode, 0);
  EXPECT_FALSE(child.WaitForExit(0, exitCode)) << "the first copy ended";
  EndsCleanlyAfter("exit\n");
}

TEST_F(ConsoleEndToEndTest, TerminationEndsTheProgramCleanly) {
  ASSERT_TRUE(StartProgram()) << Output();
  ASSERT_TRUE(platform::TerminateProcessById(child.Id()));
  int exitCode = -1;
  ASSERT_TRUE(child.WaitForExit(20000, exitCode));
  EXPECT_EQ(exitCode, 0);
}

}  // namespace
