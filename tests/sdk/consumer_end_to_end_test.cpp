// tvxhdv.h against the real TVXHandvane: reports and commands through the
// area, the backlog skipped on request, and a server that ends and starts
// again followed by the same handle. This file compiles the library as C++;
// the example program beside it compiles it as C.
#define TVXHDV_IMPLEMENTATION
#include "sdk/c/tvxhdv.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/program_paths.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "platform/socket_client.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_folder.h"

namespace {

class ConsumerEndToEndTest : public testing::Test {
 protected:
  void SetUp() override {
    program_ = folder_.File(TVX_PROGRAM_FILE_NAME);
    CopyWholeFile(JoinPath(BinFolder(), TVX_PROGRAM_FILE_NAME), program_);
    CopyWholeFile(JoinPath(BinFolder(), "TVXHandvane.TXT"), folder_.File("TVXHandvane.TXT"));
    platform::SetEnvironment("XDG_CONFIG_HOME", folder_.File("config"));
    platform::SetEnvironment("XDG_STATE_HOME", folder_.File("state"));
    const std::string ini = BuildProgramPaths(program_).iniFile;
    platform::ProfileWriteString(ini, "General", "Log", "FALSE");
    platform::ProfileWriteString(ini, "Paths", "PathToIniFolder", folder_.Path().c_str());
  }

  void TearDown() override { tvxhdv_close(handle_); }

  // Whether the rendezvous file names that process: an earlier server's file
  // stays behind.
  bool Published(const platform::ChildProcess& server) {
    char id[16];
    std::snprintf(id, sizeof id, "%08X", static_cast<unsigned>(server.Id()));
    return platform::ProfileReadString(folder_.File("TVXHDVMemory.INI"), "Memory",
                                       "CreatorProcessID", "", 360) == id;
  }

  // Starts the program on a free port; true once its area is published and
  // it takes reports. The area's name is the same for every server on the
  // machine: while another test's server holds it, this one waits its turn.
  bool StartServer(platform::ChildProcess& server) {
    std::uint16_t freePort = 0;
    if (!platform::FindFreePort(freePort)) return false;
    port_ = freePort;
    platform::ProfileWriteString(BuildProgramPaths(program_).iniFile, "Control", "Port",
                                 std::to_string(port_).c_str());
    const std::string output = folder_.File("server.out");
    for (int attempt = 0; attempt < 12; ++attempt) {
      if (!server.Start(program_, {"--console"}, output, true)) return false;
      bool ended = false;
      const bool published = WaitFor(
          [&] {
            int exitCode = 0;
            ended = server.WaitForExit(0, exitCode);
            return ended || (Published(server) && TempFolder::ReadAll(output).find(
                                                      "Server started") != std::string::npos);
          },
          30000);
      if (published && !ended) return true;
      if (TempFolder::ReadAll(output).find("shared memory") == std::string::npos) return false;
      WaitFor([] { return false; }, 10000);
    }
    return false;
  }

  // Runs TVXTap on the folder to its end; its exit code.
  int RunTap(const std::vector<std::string>& arguments) {
    std::vector<std::string> all = {"--folder", folder_.Path()};
    all.insert(all.end(), arguments.begin(), arguments.end());
    platform::ChildProcess tap;
    int exitCode = -1;
    if (!tap.Start(JoinPath(BinFolder(), TVX_TAP_FILE_NAME), all, folder_.File("tap.out")) ||
        !tap.WaitForExit(30000, exitCode)) {
      return -1;
    }
    return exitCode;
  }

  static void Quit(platform::ChildProcess& server) {
    server.WriteInput("quit\n");
    int exitCode = -1;
    ASSERT_TRUE(server.WaitForExit(30000, exitCode));
  }

  std::string Report(int frame, int x, bool left, int echoed = 0) {
    return FetchBody(static_cast<std::uint16_t>(port_),
                     ReportPath(3, frame, x, 8192, left, false, echoed));
  }

  // Waits (as an application's loop would) until tvxhdv_wait says more than
  // "nothing yet"; what it said.
  int NextEvent() {
    int event = TVXHDV_TIMEOUT;
    WaitFor([&] { return (event = tvxhdv_wait(handle_, 100)) != TVXHDV_TIMEOUT; }, 30000);
    return event;
  }

  TempFolder folder_;
  std::string program_;
  int port_ = 0;
  tvxhdv* handle_ = nullptr;
};

TEST_F(ConsumerEndToEndTest, ReportsCommandsAndTheBacklog) {
  EXPECT_EQ(tvxhdv_open(folder_.Path().c_str(), 0), nullptr);
  EXPECT_NE(std::string(tvxhdv_last_error()).find("TVXHDVMemory.INI"), std::string::npos);

  platform::ChildProcess server;
  ASSERT_TRUE(StartServer(server));
  ASSERT_EQ(Report(1, 100, false), "0000");  // queued before the application started

  handle_ = tvxhdv_open(folder_.Path().c_str(), TVXHDV_FROM_NOW);
  ASSERT_NE(handle_, nullptr) << tvxhdv_last_error();
  EXPECT_EQ(tvxhdv_wait(handle_, 0), TVXHDV_TIMEOUT);
  ASSERT_EQ(Report(2, 4096, true), "0000");
  ASSERT_EQ(NextEvent(), TVXHDV_REPORTS);
  tvxhdv_report reports[4];
  ASSERT_EQ(tvxhdv_read(handle_, reports, 4), 1);
  EXPECT_EQ(reports[0].pointer, 3u);
  EXPECT_EQ(reports[0].frame, 2u);
  EXPECT_EQ(reports[0].x, 4096u);
  EXPECT_EQ(reports[0].y, 8192u);
  EXPECT_EQ(reports[0].left + reports[0].right * 2 + reports[0].on_pad * 4, 1 + 4);
  tvxhdv_report latest;
  uint32_t age = 0;
  EXPECT_EQ(tvxhdv_latest(handle_, 3, &latest, &age), 1);
  EXPECT_EQ(latest.frame, 2u);
  EXPECT_EQ(tvxhdv_latest(handle_, 4, &latest, &age), 0);

  EXPECT_EQ(tvxhdv_vibrate(handle_, 3, TVXHDV_LONG_DOUBLE), TVXHDV_OK);
  EXPECT_EQ(Report(3, 4096, false), "01A5");
  EXPECT_EQ(Report(4, 4096, false, 1), "0100");
  EXPECT_EQ(tvxhdv_send(handle_, 80, 1), TVXHDV_BAD_ARGUMENT);
  EXPECT_EQ(tvxhdv_send(handle_, 3, 256), TVXHDV_BAD_ARGUMENT);
  EXPECT_EQ(tvxhdv_vibrate(handle_, 3, 0x41), TVXHDV_BAD_ARGUMENT);

  // Without FROM_NOW a new handle starts with what is queued.
  tvxhdv_close(handle_);
  handle_ = tvxhdv_open(folder_.Path().c_str(), 0);
  ASSERT_NE(handle_, nullptr) << tvxhdv_last_error();
  ASSERT_EQ(tvxhdv_read(handle_, reports, 4), 2);
  EXPECT_EQ(reports[1].frame, 4u);
  Quit(server);
}

TEST_F(ConsumerEndToEndTest, FollowsTheServerAcrossRestarts) {
  platform::ChildProcess first;
  ASSERT_TRUE(StartServer(first));
  handle_ = tvxhdv_open(folder_.Path().c_str(), 0);
  ASSERT_NE(handle_, nullptr) << tvxhdv_last_error();
  ASSERT_EQ(Report(1, 300, false), "0000");
  Quit(first);
  // What the ended server left is read, before or after it is seen gone.
  std::vector<uint32_t> left;
  tvxhdv_report report;
  int event = TVXHDV_TIMEOUT;
  do {
    event = NextEvent();
    while (tvxhdv_read(handle_, &report, 1) == 1) left.push_back(report.x);
  } while (event == TVXHDV_REPORTS);
  EXPECT_EQ(event, TVXHDV_SERVER_GONE);
  EXPECT_EQ(left, std::vector<uint32_t>{300});
  EXPECT_EQ(tvxhdv_connected(handle_), 0);
  EXPECT_EQ(tvxhdv_send(handle_, 3, 0x41), TVXHDV_NO_SERVER);  // not lost silently
  EXPECT_EQ(RunTap({"send", "3", "0x41"}), 1);  // TVXTap, built on the library, says so too

  platform::ChildProcess second;
  ASSERT_TRUE(StartServer(second));
  ASSERT_EQ(NextEvent(), TVXHDV_SERVER_NEW);
  EXPECT_EQ(tvxhdv_connected(handle_), 1);
  ASSERT_EQ(Report(1, 500, false), "0000");
  ASSERT_EQ(NextEvent(), TVXHDV_REPORTS);
  ASSERT_EQ(tvxhdv_read(handle_, &report, 1), 1);
  EXPECT_EQ(report.x, 500u);

  // A server ended from outside: the rendezvous file stays with its id.
  ASSERT_EQ(tvxhdv_terminate_server(handle_), 1);
  int exitCode = -1;
  ASSERT_TRUE(second.WaitForExit(30000, exitCode));
  ASSERT_EQ(NextEvent(), TVXHDV_SERVER_GONE);
  EXPECT_EQ(tvxhdv_terminate_server(handle_), 0);
}

// The example of sdk/README.md, the library compiled as C: it prints the
// report and answers a pressed button with a vibration.
TEST_F(ConsumerEndToEndTest, ExampleProgramPrintsReportsAndVibrates) {
  platform::ChildProcess server;
  ASSERT_TRUE(StartServer(server));
  const std::string output = folder_.File("example.out");
  platform::ChildProcess example;
  ASSERT_TRUE(
      example.Start(JoinPath(BinFolder(), TVX_EXAMPLE_FILE_NAME), {folder_.Path()}, output));
  // It skips what came before it opened the area, so report until it prints.
  int frame = 0;
  ASSERT_TRUE(WaitFor(
      [&] {
        Report(++frame, 100, true);
        return TempFolder::ReadAll(output).find("pointer 3 x 100 y 8192 left 1 on_pad 1") !=
               std::string::npos;
      },
      30000))
      << TempFolder::ReadAll(output);
  std::string answer;
  ASSERT_TRUE(WaitFor([&] { return (answer = Report(++frame, 100, true)) != "0000"; }, 10000));
  EXPECT_EQ(answer, "01A0");
  ASSERT_TRUE(platform::TerminateProcessById(example.Id()));
  Quit(server);
}

}  // namespace
