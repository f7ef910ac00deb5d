// tvxhdv.h against the real TVXHandvane: reports and commands through the
// area, the backlog skipped on request, and a server that ends and starts
// again followed by the same handle. This file compiles the library as C++;
// the example program beside it compiles it as C.

// The library's clock, moved on by the tests to stand for a silence.
static unsigned long long clockSkewMs = 0;
#define TVXHDV_NOW_MS() (tvxhdv__system_ms() + clockSkewMs)
#define TVXHDV_IMPLEMENTATION
#include "sdk/c/tvxhdv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/program_paths.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "platform/socket_client.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_folder.h"

#ifndef _WIN32
#include <signal.h>
#endif

namespace {

class ConsumerEndToEndTest : public testing::Test {
 protected:
  void SetUp() override {
    program_ = folder_.File(TVX_PROGRAM_FILE_NAME);
    CopyWholeFile(JoinPath(BinFolder(), TVX_PROGRAM_FILE_NAME), program_);
    CopyWholeFile(JoinPath(BinFolder(), "TVXHandvane.TXT"), folder_.File("TVXHandvane.TXT"));
    EXPECT_TRUE(platform::SetEnvironment("XDG_CONFIG_HOME", folder_.File("config")));
    EXPECT_TRUE(platform::SetEnvironment("XDG_STATE_HOME", folder_.File("state")));
    const std::string ini = BuildProgramPaths(program_).iniFile;
    EXPECT_TRUE(platform::ProfileWriteString(ini, "General", "Log", "FALSE"));
    EXPECT_TRUE(
        platform::ProfileWriteString(ini, "Paths", "PathToIniFolder", folder_.Path().c_str()));
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
    EXPECT_TRUE(platform::ProfileWriteString(BuildProgramPaths(program_).iniFile, "Control", "Port",
                                             std::to_string(port_).c_str()));
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
    EXPECT_TRUE(server.WriteInput("quit\n"));
    int exitCode = -1;
    ASSERT_TRUE(server.WaitForExit(30000, exitCode));
  }

  std::string Report(int frame, int x, bool left, int echoed = 0) {
    return FetchBody(static_cast<std::uint16_t>(port_),
                     ReportPath(3, frame, x, 8192, left, false, echoed));
  }

  // Waits (as an application's loop would) until tvxhdv_wait says more than
  // "nothing yet" or phones came and went (whose changes it takes); what it said.
  int NextEvent() {
    int event = TVXHDV_TIMEOUT;
    WaitFor(
        [&] {
          event = tvxhdv_wait(handle_, 100);
          tvxhdv_presence_change changes[8];
          while (tvxhdv_presence(handle_, changes, 8) > 0) {
          }
          return event != TVXHDV_TIMEOUT && event != TVXHDV_PRESENCE;
        },
        30000);
    return event;
  }

  // A 32-bit value of the area, as the kit maps it.
  static std::atomic_ref<std::uint32_t> AreaValue(tvxhdv* handle, std::uint32_t at) {
    return std::atomic_ref<std::uint32_t>(*reinterpret_cast<std::uint32_t*>(handle->area + at));
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
  // Codes that never reach a phone are a wrong command line, and the edges are not.
  for (const auto& [code, exitCode] :
       {std::pair{"0", 2}, {"255", 2}, {"0xFF", 2}, {"0xFE", 2}, {"1", 1}, {"0xFD", 1}}) {
    EXPECT_EQ(RunTap({"send", "3", code}), exitCode) << code;
  }

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
// report and answers a pressed button with a vibration. While it reads, a
// second reader (TVXTap too) is refused with its name and process id, and a
// handle that only sends is not; the claim goes with the killed reader.
TEST_F(ConsumerEndToEndTest, ExampleProgramPrintsReportsVibratesAndHoldsTheReports) {
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

  EXPECT_EQ(tvxhdv_open(folder_.Path().c_str(), 0), nullptr);
  const std::string refused = tvxhdv_last_error();
  EXPECT_NE(refused.find("Another program reads"), std::string::npos) << refused;
  EXPECT_NE(refused.find(std::string(TVX_EXAMPLE_FILE_NAME) + " (process " +
                         std::to_string(example.Id()) + ")"),
            std::string::npos)
      << refused;
  EXPECT_EQ(tvxhdv_open(folder_.Path().c_str(), TVXHDV_WAIT_FOR_SERVER), nullptr);
  EXPECT_EQ(RunTap({"watch"}), 1);
  handle_ = tvxhdv_open(folder_.Path().c_str(), TVXHDV_SEND_ONLY);
  ASSERT_NE(handle_, nullptr) << tvxhdv_last_error();
  EXPECT_EQ(tvxhdv_show(handle_, 3, TVXHDV_SHOW_NUMBER(7)), TVXHDV_OK);
  EXPECT_EQ(Report(++frame, 100, false, 1), "02D7");  // its vibration's packet echoed
  EXPECT_EQ(tvxhdv_show(handle_, 3, TVXHDV_SHOW_COLOR(8)), TVXHDV_BAD_ARGUMENT);
  EXPECT_EQ(tvxhdv_show(handle_, 3, TVXHDV_SHORT_SINGLE), TVXHDV_BAD_ARGUMENT);
  tvxhdv_report report;
  EXPECT_EQ(tvxhdv_read(handle_, &report, 1), 0);  // takes nothing from the reader

  ASSERT_TRUE(platform::TerminateProcessById(example.Id()));
  int exitCode = 0;
  ASSERT_TRUE(example.WaitForExit(30000, exitCode));
  tvxhdv* reader = nullptr;
  EXPECT_TRUE(WaitFor([&] { return (reader = tvxhdv_open(folder_.Path().c_str(), 0)); }, 10000))
      << tvxhdv_last_error();
  tvxhdv_close(reader);
  Quit(server);
}

// Opened before the server: the first wait says it came, a phone's first
// report that it joined, a silence longer than the server's second that it
// left; a skipped report still counts as the phone's last. Then a wait
// sleeps, counted in the server's wake object, until a put wakes it; and
// with both indices moved to just before the end of the slots while the
// server is idle, reports come out across the wrap as they went in.
TEST_F(ConsumerEndToEndTest, OpensBeforeTheServerHearsPhonesComeAndGoAndSleepsInItsWaits) {
  handle_ = tvxhdv_open(folder_.Path().c_str(), TVXHDV_WAIT_FOR_SERVER);
  ASSERT_NE(handle_, nullptr) << tvxhdv_last_error();
  EXPECT_EQ(tvxhdv_wait(handle_, 0), TVXHDV_TIMEOUT);
  EXPECT_EQ(tvxhdv_connected(handle_), 0);
  platform::ChildProcess server;
  ASSERT_TRUE(StartServer(server));
  ASSERT_EQ(NextEvent(), TVXHDV_SERVER_NEW);

  ASSERT_EQ(Report(1, 100, false), "0000");
  ASSERT_EQ(tvxhdv_wait(handle_, 10000), TVXHDV_PRESENCE);  // before the report itself
  tvxhdv_presence_change change{};
  ASSERT_EQ(tvxhdv_presence(handle_, &change, 1), 1);
  EXPECT_EQ(change.pointer + change.joined * 100, 103u);
  unsigned char present[TVXHDV_POINTERS];
  tvxhdv_present(handle_, present);
  EXPECT_EQ(present[3], 1);
  EXPECT_EQ(std::count(present, present + TVXHDV_POINTERS, 1), 1);
  ASSERT_EQ(tvxhdv_wait(handle_, 0), TVXHDV_REPORTS);
  tvxhdv_report report{};
  const unsigned long long before = TVXHDV_NOW_MS();
  ASSERT_EQ(tvxhdv_read(handle_, &report, 1), 1);
  EXPECT_GE(report.read_at_ms, before);
  EXPECT_LE(report.read_at_ms, TVXHDV_NOW_MS());

  ASSERT_EQ(Report(2, 100, false), "0000");  // the same phone again: no news
  ASSERT_EQ(NextEvent(), TVXHDV_REPORTS);
  EXPECT_EQ(tvxhdv_skip(handle_), 1);
  EXPECT_EQ(tvxhdv_read(handle_, &report, 1), 0);
  uint32_t age = 0;
  ASSERT_EQ(tvxhdv_latest(handle_, 3, &report, &age), 1);
  EXPECT_EQ(report.frame, 2u);

  clockSkewMs += 900;
  EXPECT_EQ(tvxhdv_wait(handle_, 0), TVXHDV_TIMEOUT);
  clockSkewMs += 200;
  EXPECT_EQ(tvxhdv_wait(handle_, 0), TVXHDV_PRESENCE);
  ASSERT_EQ(tvxhdv_presence(handle_, &change, 1), 1);
  EXPECT_EQ(change.pointer + change.joined * 100, 3u);
  tvxhdv_present(handle_, present);
  EXPECT_EQ(present[3], 0);
  EXPECT_EQ(tvxhdv_presence(handle_, &change, 1), 0);

  ASSERT_NE(handle_->wake, nullptr);
  const std::atomic_ref<std::uint32_t> sleepers(*reinterpret_cast<std::uint32_t*>(handle_->wake));
  int event = -1;
  std::thread waiter([&] { event = tvxhdv_wait(handle_, 60000); });
  const bool asleep = WaitFor([&] { return sleepers.load() == 1; }, 30000);
  const auto put = std::chrono::steady_clock::now();
  Report(3, 100, false);
  waiter.join();
  EXPECT_TRUE(asleep);
  EXPECT_LT(std::chrono::steady_clock::now() - put, std::chrono::seconds(10));
  EXPECT_TRUE(event == TVXHDV_PRESENCE || event == TVXHDV_REPORTS) << event;
  EXPECT_EQ(sleepers.load(), 0u);
  tvxhdv_skip(handle_);

  AreaValue(handle_, TVXHDV__AT_REPORT_FIFO + TVXHDV__AT_WRITE).store(15998);
  AreaValue(handle_, TVXHDV__AT_REPORT_FIFO + TVXHDV__AT_READ).store(15998);
  std::vector<uint32_t> frames;
  for (int frame = 4; frame <= 7; ++frame) {
    ASSERT_EQ(Report(frame, 100, false), "0000");
    ASSERT_EQ(NextEvent(), TVXHDV_REPORTS);
    tvxhdv_report taken[4];
    const int count = tvxhdv_read(handle_, taken, 4);
    for (int i = 0; i < count; ++i) frames.push_back(taken[i].frame);
  }
  EXPECT_EQ(frames, (std::vector<uint32_t>{4, 5, 6, 7}));
  EXPECT_EQ(AreaValue(handle_, TVXHDV__AT_REPORT_FIFO + TVXHDV__AT_READ).load(), 2u);
  EXPECT_EQ(tvxhdv_wait(handle_, 0), TVXHDV_TIMEOUT);
  Quit(server);
}

#ifndef _WIN32
// Cuts the area short and grows it again, over and over, while reports come.
void CutAndGrowWhileReporting(const std::string& object, const std::function<void(int)>& report) {
  std::atomic<bool> done{false};
  std::thread cutter([&] {
    for (int round = 0; round < 2000 && !done; ++round) {
      std::filesystem::resize_file(object, round % 2 == 0 ? 0 : 4240072);
    }
    std::filesystem::resize_file(object, 4240072);
  });
  for (int frame = 1; frame <= 40; ++frame) report(frame);
  done = true;
  cutter.join();
}

// Anyone who may open the area may cut it short and grow it again while the
// kit reads: TVXTap watch, sleeping in its waits, goes on and follows the
// next server; a handle says what happened. Neither dies of SIGBUS.
TEST_F(ConsumerEndToEndTest, AnAreaCutShortAndGrownAgainIsNamedNotFatal) {
  platform::ChildProcess server;
  ASSERT_TRUE(StartServer(server));
  handle_ = tvxhdv_open(folder_.Path().c_str(), TVXHDV_SEND_ONLY);
  ASSERT_NE(handle_, nullptr) << tvxhdv_last_error();
  const std::string object = std::string("/dev/shm/") + handle_->name;
  tvxhdv_close(handle_);
  handle_ = nullptr;
  platform::ChildProcess tap;
  const std::string watched = folder_.File("watch.out");
  ASSERT_TRUE(tap.Start(JoinPath(BinFolder(), TVX_TAP_FILE_NAME),
                        {"--folder", folder_.Path(), "watch"}, watched));
  // TVXTap reads once it prints a report. (Opening a second reader to see
  // whether it holds the reports could take them first, and TVXTap would end.)
  int probe = 0;
  ASSERT_TRUE(WaitFor(
      [&] {
        Report(++probe, 111, false);
        return TempFolder::ReadAll(watched).find("x=111") != std::string::npos;
      },
      30000));
  CutAndGrowWhileReporting(object, [&](int frame) { Report(probe + frame, 100, false); });
  Quit(server);

  platform::ChildProcess second;
  ASSERT_TRUE(StartServer(second));
  int frame = 0;
  EXPECT_TRUE(WaitFor(
      [&] {
        Report(++frame, 555, false);
        return TempFolder::ReadAll(watched).find("x=555") != std::string::npos;
      },
      30000))
      << TempFolder::ReadAll(watched);
  int exitCode = 0;
  EXPECT_FALSE(tap.WaitForExit(0, exitCode)) << "TVXTap ended with " << exitCode;
  ASSERT_TRUE(platform::TerminateProcessById(tap.Id()));
  ASSERT_TRUE(tap.WaitForExit(30000, exitCode));

  handle_ = tvxhdv_open(folder_.Path().c_str(), 0);
  ASSERT_NE(handle_, nullptr) << tvxhdv_last_error();
  // Stopped, the server cannot make its area anew before the handle looks.
  ASSERT_EQ(kill(static_cast<pid_t>(second.Id()), SIGSTOP), 0);
  std::filesystem::resize_file(object, 0);
  std::filesystem::resize_file(object, 4240072);
  clockSkewMs += TVXHDV__CHECK_MS;
  const int event = tvxhdv_wait(handle_, 0);
  ASSERT_EQ(kill(static_cast<pid_t>(second.Id()), SIGCONT), 0);
  EXPECT_EQ(event, TVXHDV_SERVER_GONE);
  const std::string why = tvxhdv_last_error();
  EXPECT_NE(why.find("lost its contents"), std::string::npos) << why;
  Quit(second);
}

TEST_F(ConsumerEndToEndTest, AFifoInPlaceOfTheRendezvousFileIsRefusedAtOnce) {
  ASSERT_EQ(mkfifo(folder_.File("TVXHDVMemory.INI").c_str(), 0600), 0);
  EXPECT_EQ(tvxhdv_open(folder_.Path().c_str(), 0), nullptr);
  EXPECT_NE(std::string(tvxhdv_last_error()).find("no regular file"), std::string::npos);
  EXPECT_EQ(RunTap({"info"}), 1);
}
#endif

}  // namespace
