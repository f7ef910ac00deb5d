// Linux: another process removes the running server's area (logind's
// RemoveIPC at log-out), or cuts it short; the next timer tick makes and
// publishes a new one.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "app/application.h"
#include "app/console/console_view.h"
#include "app/main_dialog.h"
#include "app/server_session.h"
#include "platform/profile.h"
#include "platform/socket_client.h"
#include "tests/app/fake_mouse.h"
#include "tests/pointer/channel_fixture.h"
#include "tests/support/log_lines.h"
#include "tests/support/temp_folder.h"

namespace {

// The area is cut short (true) or its name removed (false).
class AreaRemovedTest : public testing::TestWithParam<bool> {};

TEST_P(AreaRemovedTest, TheNextTickMakesAndPublishesANewArea) {
  const bool cutShort = GetParam();
  TempFolder folder;
  const ProgramPaths paths = BuildProgramPaths(folder.File("TVXHandvane.exe"));
  std::uint16_t port = 0;
  EXPECT_TRUE(platform::FindFreePort(port));
  EXPECT_TRUE(platform::ProfileWriteString(paths.iniFile, "General", "Log", "TRUE"));
  EXPECT_TRUE(platform::ProfileWriteString(paths.iniFile, "Paths", "PathToIniFolder",
                                           folder.Path().c_str()));
  EXPECT_TRUE(
      platform::ProfileWriteString(paths.iniFile, "Control", "Port", std::to_string(port).c_str()));
  const std::string areaName = UniqueAreaName();
  Application app(paths, folder.File("Profile.INI"), areaName);
  ConsoleView view(stdout);
  FakeMouse mouse;
  ServerSession session(app, mouse);
  MainDialog dialog(session, view, mouse);
  ASSERT_TRUE(dialog.OnInitDialog());

  if (cutShort) {
    const int object = shm_open(("/" + areaName).c_str(), O_RDWR, 0);
    ASSERT_GE(object, 0);
    ASSERT_EQ(ftruncate(object, 4096), 0);
    close(object);
    app.protocol.HandlePointerReport("/tolvex10003000180008000000200");  // finds it cut short
  } else {
    ASSERT_EQ(shm_unlink(("/" + areaName).c_str()), 0);
  }
  dialog.Tick();
  dialog.Tick();
  const std::vector<std::string> messages = LogMessages(paths.logFile);
  const std::string how = cutShort ? "cut short" : "removed";
  EXPECT_EQ(
      std::count(messages.begin(), messages.end(),
                 "The TVXHDV shared memory was " + how + " by another process: a new one is made"),
      1);

  // A consumer finds the new area through the rendezvous file and gets reports.
  const KitHandle consumer = OpenKit(folder.Path());
  ASSERT_NE(consumer, nullptr) << tvxhdv_last_error();
  app.protocol.HandlePointerReport("/tolvex10003000280008000000200");
  tvxhdv_report report{};
  EXPECT_EQ(tvxhdv_read(consumer.get(), &report, 1), 1);
  EXPECT_EQ(report.frame, 2u);
  EXPECT_TRUE(platform::SharedMemory::IsClaimedByRunningCreator(areaName));

  dialog.OnOK();
  EXPECT_FALSE(platform::SharedMemory::IsClaimedByRunningCreator(areaName));
}

INSTANTIATE_TEST_SUITE_P(CutShortOrRemoved, AreaRemovedTest, testing::Bool());

}  // namespace
