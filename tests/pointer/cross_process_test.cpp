// Two processes on one area: TVXTap or a small peer program on the other side.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "tests/pointer/channel_fixture.h"

namespace {

// A program built beside this test binary.
std::string SiblingProgram(const char* fileName) {
  const std::string self = platform::ProgramFilePath();
  return self.substr(0, self.find_last_of("/\\") + 1) + fileName;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// Waits up to 30 s (wine starts programs slowly) for the condition.
template <typename Condition>
bool WaitFor(Condition condition) {
  for (int i = 0; i < 3000; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

class CrossProcessTest : public ChannelTest {
 protected:
  // Runs TVXTap to its end; its exit code, its output in output.
  int RunTap(const std::vector<std::string>& arguments, std::string& output) {
    std::vector<std::string> all = {"--folder", folder_.Path()};
    all.insert(all.end(), arguments.begin(), arguments.end());
    const std::string outputFile = folder_.File("tap.out");
    platform::ChildProcess tap;
    EXPECT_TRUE(tap.Start(tap_, all, outputFile));
    int exitCode = -1;
    EXPECT_TRUE(tap.WaitForExit(30000, exitCode));
    output = TempFolder::ReadAll(outputFile);
    return exitCode;
  }

  std::string tap_ = SiblingProgram(TVX_TAP_FILE_NAME);
  std::string peer_ = SiblingProgram(TVX_PEER_FILE_NAME);
};

TEST_F(CrossProcessTest, TapWatchPrintsEveryReportAsItArrives) {
  CreateServer();
  server_.PutPointerReport(Report(4, 1));
  server_.PutPointerReport(PointerReportRecord{2, 65535, 79, 0, 65535, 0xC300});

  const std::string outputFile = folder_.File("watch.out");
  platform::ChildProcess tap;
  ASSERT_TRUE(tap.Start(tap_, {"--folder", folder_.Path(), "watch", "--json"}, outputFile));
  ASSERT_TRUE(WaitFor([&] { return Lines(TempFolder::ReadAll(outputFile)).size() == 2; }));
  server_.PublishName(5, "Zo\"\xC3\xAB");  // a named pointer's lines carry its name
  server_.PutPointerReport(Report(5, 2));
  ASSERT_TRUE(WaitFor([&] { return Lines(TempFolder::ReadAll(outputFile)).size() == 3; }));

  ASSERT_TRUE(platform::TerminateProcessById(tap.Id()));
  int exitCode = -1;
  ASSERT_TRUE(tap.WaitForExit(30000, exitCode));
  EXPECT_EQ(exitCode, 0);  // SIGTERM ends the watch cleanly
  EXPECT_EQ(Lines(TempFolder::ReadAll(outputFile)),
            (std::vector<std::string>{
                R"({"pointer":4,"frame":1,"screen":1,"x":1001,"y":2001,"flags":256,)"
                R"("left":true,"right":false,"on_pad":false})",
                R"({"pointer":79,"frame":65535,"screen":2,"x":0,"y":65535,"flags":49920,)"
                R"("left":true,"right":true,"on_pad":true})",
                R"({"pointer":5,"frame":2,"screen":1,"x":1002,"y":2002,"flags":256,)"
                R"("left":true,"right":false,"on_pad":false,"name":"Zo\")"
                "\xC3\xAB\"}"}));
  EXPECT_EQ(server_.IsPointerFifoEmpty(), 1);
}

// A rendezvous file caught half written names no running server: the watch
// stays with the one it follows, and still follows it once the file is whole.
TEST_F(CrossProcessTest, TapWatchFollowsItsServerThroughAGarbledRendezvousFile) {
  CreateServer();
  const std::string outputFile = folder_.File("watch.out");
  platform::ChildProcess tap;
  ASSERT_TRUE(tap.Start(tap_, {"--folder", folder_.Path(), "watch"}, outputFile));
  server_.PutPointerReport(Report(4, 1));
  ASSERT_TRUE(WaitFor([&] { return Lines(TempFolder::ReadAll(outputFile)).size() == 1; }));

  const KitHandle handle = OpenKit(folder_.Path(), TVXHDV_ANY_LAYOUT | TVXHDV_SEND_ONLY);
  ASSERT_NE(handle, nullptr) << tvxhdv_last_error();
  const std::string rendezvousFile = folder_.File("TVXHDVMemory.INI");
  const std::string whole = TempFolder::ReadAll(rendezvousFile);
  TempFolder::WriteAll(rendezvousFile, "[Memory]\r\nSharedMemoryName=TVXH");
  EXPECT_EQ(tvxhdv_connected(handle.get()), 1);
  // TVXTap looks at the file every 100 ms while it waits: it prints a report
  // put 300 ms later only if it stayed with its server.
  const auto garbled = std::chrono::steady_clock::now();
  std::uint32_t frame = 1;
  std::uint32_t late = 0;
  EXPECT_TRUE(WaitFor([&] {
    if (late != 0) return Lines(TempFolder::ReadAll(outputFile)).size() >= late;
    server_.PutPointerReport(Report(4, ++frame));
    if (std::chrono::steady_clock::now() - garbled > std::chrono::milliseconds(300)) late = frame;
    return false;
  })) << TempFolder::ReadAll(outputFile);
  TempFolder::WriteAll(rendezvousFile, whole);
  EXPECT_EQ(tvxhdv_connected(handle.get()), 1);

  server_.PutPointerReport(Report(4, ++frame));
  EXPECT_TRUE(WaitFor([&] { return Lines(TempFolder::ReadAll(outputFile)).size() == frame; }))
      << TempFolder::ReadAll(outputFile);
  ASSERT_TRUE(platform::TerminateProcessById(tap.Id()));
  int exitCode = -1;
  EXPECT_TRUE(tap.WaitForExit(30000, exitCode));
}

// A running server's area damaged or cut short: the library says what it
// found instead of blaming the server, and a handle whose area was cut short
// lets go of it instead of touching what is gone.
TEST_F(CrossProcessTest, DamagedAreaIsNamedNotBlamedOnTheServer) {
  CreateServer();
  server_.GetHeader()->totalSize = 1234;
  EXPECT_EQ(tvxhdv_open(folder_.Path().c_str(), 0), nullptr);
  const std::string damaged = tvxhdv_last_error();
  EXPECT_NE(damaged.find("its size field says 1234, not 4240072"), std::string::npos) << damaged;
  server_.GetHeader()->totalSize = 4240072;

  const std::string object = "/dev/shm/" + name_;
  if (!std::filesystem::exists(object)) GTEST_SKIP() << "a Windows section cannot be cut short";
  tvxhdv* handle = tvxhdv_open(folder_.Path().c_str(), 0);
  ASSERT_NE(handle, nullptr) << tvxhdv_last_error();
  std::filesystem::resize_file(object, 0);
  EXPECT_EQ(tvxhdv_wait(handle, 0), TVXHDV_SERVER_GONE);
  const std::string cut = tvxhdv_last_error();
  EXPECT_NE(cut.find("is 0 bytes, shorter than the 4240072 bytes"), std::string::npos) << cut;
  tvxhdv_close(handle);
  EXPECT_EQ(tvxhdv_open(folder_.Path().c_str(), TVXHDV_ANY_LAYOUT), nullptr);
  EXPECT_EQ(tvxhdv_last_error(), cut);
  std::filesystem::resize_file(object, 4240072);
}

TEST_F(CrossProcessTest, TapSendsCommandsAndShowsTheHeader) {
  CreateServer();
  server_.GetHeader()->versionWebServerService = ComposeVersionWebServerService(2, 0, 1, 0);
  server_.PutPointerReport(Report(1, 1));
  std::string output;
  ASSERT_EQ(RunTap({"send", "12", "0x41"}, output), 0);
  ASSERT_EQ(RunTap({"send", "79", "7"}, output), 0);
  EXPECT_EQ(RunTap({"send", "80", "7"}, output), 2);
  EXPECT_EQ(RunTap({"send", "1", "256"}, output), 2);

  CommandRecord command;
  ASSERT_EQ(server_.GetCommand(79, command), 1);
  EXPECT_EQ(command.command, 7u);
  EXPECT_EQ(server_.CommandFifoCount(12), 1);

  ASSERT_EQ(RunTap({"info"}, output), 0);
  const std::vector<std::string> expected = {"MappingName: " + name_,
                                             "TotalSize: 4240072",
                                             "StructVersion: 23020902",
                                             "VersionBlockSize: 28",
                                             "VersionWebServerService: 02000100 (2.0.1.0)",
                                             "PointerFifoBlockSize: 384036",
                                             "CommandFifoBlockSize: 6420",
                                             "FillTextMatches: 1",
                                             "PointerFifoCount: 1",
                                             "CommandFifoCount 12: 1"};
  EXPECT_EQ(Lines(output), expected);
  ASSERT_EQ(server_.GetCommand(12, command), 1);
  EXPECT_EQ(command.command, 0x41u);
}

TEST_F(CrossProcessTest, TapFailsWithoutAnArea) {
  std::string output;
  EXPECT_EQ(RunTap({"info"}, output), 1);
  EXPECT_EQ(RunTap({"terminate"}, output), 1);
  EXPECT_EQ(RunTap({"bogus"}, output), 2);
}

// The peer is the server here: this process reads what it put, a second
// server is refused while it runs, and after it has been ended its area is
// taken over as a leftover (on Linux the killed peer leaves the name behind).
TEST_F(CrossProcessTest, SecondServerIsRefusedWhileTheFirstRuns) {
  platform::ChildProcess peer;
  ASSERT_TRUE(peer.Start(peer_, {"create", folder_.Path(), name_, "3"}, ""));
  const std::string rendezvousFile = folder_.File("TVXHDVMemory.INI");
  ASSERT_TRUE(WaitFor([&] { return platform::PathExists(rendezvousFile); }));
  OpenConsumer();
  tvxhdv_report report;
  for (std::uint32_t frame = 0; frame < 3; ++frame) {
    ASSERT_TRUE(TakeReport(report));
    EXPECT_EQ(report.frame, frame);
    EXPECT_EQ(report.x, 100 + frame);
  }
  ASSERT_EQ(tvxhdv_send(consumer_.get(), 3, 9), TVXHDV_OK);

  std::uint32_t version = 0;
  int created = 1;
  EXPECT_EQ(server_.SharedMemoryInit(1, folder_.Path(), version, created), 0);
  EXPECT_EQ(server_.GetLastErrorText(), "The TVXHDV shared memory belongs to a running server");
  EXPECT_EQ(created, 0);
  TempFolder otherFolder;  // the name is what counts, not the folder
  EXPECT_EQ(server_.SharedMemoryInit(1, otherFolder.Path(), version, created), 0);
  char peerId[16];
  std::snprintf(peerId, sizeof(peerId), "%08X", static_cast<unsigned>(peer.Id()));
  EXPECT_EQ(platform::ProfileReadString(rendezvousFile, "Memory", "CreatorProcessID", "", 360),
            peerId);
  tvxhdv_info info;
  ASSERT_EQ(tvxhdv_get_info(consumer_.get(), &info), 1);
  EXPECT_EQ(info.commands_queued[3], 1);  // the live area was left alone

  ASSERT_EQ(tvxhdv_terminate_server(consumer_.get()), 1);
  int exitCode = 0;
  ASSERT_TRUE(peer.WaitForExit(30000, exitCode));
  EXPECT_EQ(tvxhdv_terminate_server(consumer_.get()), 0);  // no creator runs any more

  CreateServer();
  EXPECT_EQ(server_.CommandFifoCount(3), 0);
  ASSERT_EQ(server_.PutPointerReport(Report(9, 1)), 1);
  ASSERT_TRUE(TakeReport(report));  // through the old view: the same area, started afresh
  EXPECT_EQ(report.pointer, 9u);
}

// The rendezvous file outlives its server, and its process id may since
// belong to another program; or a running server holds the area, but the file
// names another process. Only the process that the system shows holding the
// area may be ended.
TEST_F(CrossProcessTest, TerminatingTheServerSparesAProcessThatDoesNotHoldTheArea) {
  platform::ChildProcess bystander;
  ASSERT_TRUE(bystander.Start(peer_, {"idle"}, ""));
  const std::string rendezvousFile = folder_.File("TVXHDVMemory.INI");
  char id[16];
  std::snprintf(id, sizeof(id), "%08X", static_cast<unsigned>(bystander.Id()));
  for (const bool serverRuns : {false, true}) {
    if (serverRuns) CreateServer();
    ASSERT_TRUE(
        platform::ProfileWriteString(rendezvousFile, "Memory", "SharedMemoryName", name_.c_str()));
    ASSERT_TRUE(platform::ProfileWriteString(rendezvousFile, "Memory", "CreatorProcessID", id));
    EXPECT_EQ(OpenKit(folder_.Path()), nullptr) << serverRuns;
    std::string output;
    EXPECT_EQ(RunTap({"terminate"}, output), 1) << serverRuns;
    int exitCode = 0;
    EXPECT_FALSE(bystander.WaitForExit(200, exitCode)) << serverRuns;
  }
}

}  // namespace
