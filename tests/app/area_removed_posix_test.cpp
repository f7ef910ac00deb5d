// Linux: another process removes the running server's area (logind's
// RemoveIPC at log-out), or cuts it short; the next timer tick makes and
// publishes a new one.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "app/application.h"
#include "app/console/console_view.h"
#include "app/main_dialog.h"
#include "platform/profile.h"
#include "platform/socket_client.h"
#include "tests/app/fake_mouse.h"
#include "tests/pointer/channel_fixture.h"
#include "tests/support/log_lines.h"
#include "tests/support/temp_folder.h"

namespace {

class AreaRemovedTest : public testing::Test {
 protected:
  // The INI is written before the application reads it.
  bool Configure() {
    std::uint16_t port = 0;
    platform::FindFreePort(port);
    platform::ProfileWriteString(paths.iniFile, "General", "Log", "TRUE");
    platform::ProfileWriteString(paths.iniFile, "Paths", "PathToIniFolder", folder.Path().c_str());
    platform::ProfileWriteString(paths.iniFile, "Control", "Port", std::to_string(port).c_str());
    return true;
  }
  void SetUp() override { ASSERT_TRUE(dialog.OnInitDialog()); }

  // Two ticks make the new area, said once in the log; a consumer finds it
  // through the rendezvous file and gets the next report.
  void ExpectANewAreaForwarding(const std::string& logged, const char* report) {
    dialog.Tick();
    dialog.Tick();
    const std::vector<std::string> messages = LogMessages(paths.logFile);
    EXPECT_EQ(std::count(messages.begin(), messages.end(), logged), 1);
    const KitHandle consumer = OpenKit(folder.Path());
    ASSERT_NE(consumer, nullptr) << tvxhdv_last_error();
    app.protocol.HandlePointerReport(report);
    tvxhdv_report got{};
    EXPECT_EQ(tvxhdv_read(consumer.get(), &got, 1), 1);
    lastFrame = got.frame;
  }

  TempFolder folder;
  const ProgramPaths paths = BuildProgramPaths(folder.File("TVXHandvane.exe"));
  const std::string areaName = UniqueAreaName();
  const bool configured = Configure();
  Application app{paths, folder.File("Profile.INI"), areaName};
  ConsoleView view{stdout};
  FakeMouse mouse;
  MainDialog dialog{app, view, mouse};
  decltype(tvxhdv_report{}.frame) lastFrame = 0;
};

TEST_F(AreaRemovedTest, TheNextTickMakesAndPublishesANewArea) {
  ASSERT_EQ(shm_unlink(("/" + areaName).c_str()), 0);
  ExpectANewAreaForwarding("The TVXHDV shared memory was removed by another process: a new one is made",
                           "/tolvex10003000180008000000200");
  EXPECT_TRUE(platform::SharedMemory::IsClaimedByRunningCreator(areaName));
  dialog.OnOK();
  EXPECT_FALSE(platform::SharedMemory::IsClaimedByRunningCreator(areaName));
}

TEST_F(AreaRemovedTest, AnAreaCutShortIsMadeAnewAndForwardsAgain) {
  const int object = shm_open(("/" + areaName).c_str(), O_RDWR, 0);
  ASSERT_GE(object, 0);
  ASSERT_EQ(ftruncate(object, 4096), 0);
  close(object);
  app.protocol.HandlePointerReport("/tolvex10003000180008000000200");  // finds it cut short
  ExpectANewAreaForwarding(
      "The TVXHDV shared memory was cut short by another process: a new one is made",
      "/tolvex10003000280008000000200");
  EXPECT_EQ(lastFrame, 2u);
  dialog.OnOK();
}

}  // namespace
