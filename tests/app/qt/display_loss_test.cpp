// TVXHandvane in its window on a private X server that then goes away: the
// phones stay served and the dialog goes on in the console.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <optional>
#include <string>

#include "common/program_paths.h"
#include "platform/profile.h"
#include "platform/process.h"
#include "platform/socket_client.h"
#include "pointer/shared_memory_layout.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_folder.h"

namespace {

constexpr char kHandOverLine[] = "The display went away: TVXHandvane goes on in the console.";

bool AreaExists() {
  const int object = shm_open((std::string("/") + NoticeText).c_str(), O_RDONLY, 0);
  if (object < 0) return false;
  close(object);
  return true;
}

class DisplayLossTest : public testing::Test {
 protected:
  void SetUp() override {
    port = PlaceProgramCopy(program, folder.Path());
    EXPECT_NE(port, 0);
    EXPECT_TRUE(platform::SetEnvironment("QT_QPA_PLATFORM", "xcb"));
    // The overlay's window goes down with the display too.
    EXPECT_TRUE(platform::ProfileWriteString(BuildProgramPaths(program).iniFile, "Control",
                                             "ShowPointers", "1"));
  }

  // Xvfb picks a free display number itself and writes it once it takes clients.
  bool StartDisplay() {
    const std::string numberFile = folder.File("display.txt");
    std::string number;
    const auto written = [&] { return (number = TempFolder::ReadAll(numberFile)).ends_with('\n'); };
    if (!display->Start(TVX_XVFB,
                        {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"},
                        numberFile, false) ||
        !WaitFor(written, 30000)) {
      return false;
    }
    number.pop_back();
    return static_cast<bool>(platform::SetEnvironment("DISPLAY", ":" + number));
  }

  std::string Output() { return ProgramOutput(output); }
  std::string Report(int frame) {
    return FetchBody(static_cast<std::uint16_t>(port),
                     ReportPath(3, frame, 100, 200, false, false, 0));
  }

  TempFolder folder;
  std::string program = folder.File("TVXHandvane");
  std::string output = folder.File("output.txt");
  int port = 0;
  std::optional<platform::ChildProcess> display{std::in_place};
  platform::ChildProcess child;
};

TEST_F(DisplayLossTest, TheServerGoesOnInTheConsoleWhenTheXServerDies) {
  ASSERT_TRUE(StartDisplay());
  ASSERT_TRUE(child.Start(program, {}, output, true));
  // The report is answered once the dialog has started the server.
  ASSERT_TRUE(WaitFor([&] { return Report(1).size() == 4; }, 30000)) << Output();
  ASSERT_TRUE(AreaExists());

  display.reset();  // SIGKILL: the X server dies under the window
  ASSERT_TRUE(WaitFor([&] { return Output().find(kHandOverLine) != std::string::npos; }, 30000))
      << Output();
  int exitCode = -1;
  EXPECT_FALSE(child.WaitForExit(0, exitCode)) << "ended with " << exitCode;
  EXPECT_EQ(Report(2).size(), 4u);
  EXPECT_TRUE(AreaExists());

  EXPECT_TRUE(child.WriteInput("status\n"));  // a command runs before the end
  EXPECT_TRUE(child.WriteInput("exit\n"));
  ASSERT_TRUE(child.WaitForExit(30000, exitCode)) << Output();
  EXPECT_EQ(exitCode, 0);
  const std::string said = Output();
  EXPECT_EQ(said.find(kHandOverLine), said.rfind(kHandOverLine)) << "told more than once";
  EXPECT_NE(Output().find("Status: Working... |"), std::string::npos) << Output();
  EXPECT_FALSE(AreaExists());
}

}  // namespace
