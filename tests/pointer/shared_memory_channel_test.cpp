// Creating, publishing and closing the area, and every failure of those steps
// with its message; what a consumer finds through the kit at each step.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "tests/pointer/channel_fixture.h"

namespace {

bool StartsWith(const std::string& text, const std::string& start) {
  return text.compare(0, start.size(), start) == 0;
}
bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

class OpenTest : public ChannelTest {
 protected:
  // Opens as a consumer and expects the failure text to hold part.
  void ExpectOpenFails(const std::string& part) {
    EXPECT_EQ(OpenKit(folder_.Path()), nullptr);
    EXPECT_NE(std::string(tvxhdv_last_error()).find(part), std::string::npos) << part;
  }
  std::string RendezvousFile() const { return folder_.File("TVXHDVMemory.INI"); }
  std::string TemporaryFile() const { return folder_.File("TVXHDVMemory.TMP"); }
};

TEST_F(OpenTest, TheRendezvousFileAppearsOnlyOnceTheAreaIsComplete) {
  std::uint32_t version = 0;
  int created = 0;
  ASSERT_EQ(server_.SharedMemoryInit(1, folder_.Path(), version, created), 1);
  EXPECT_EQ(version, 0x23020902u);
  EXPECT_EQ(created, 1);
  EXPECT_EQ(server_.GetMappingName(), name_);
  EXPECT_FALSE(platform::PathExists(RendezvousFile()));
  ExpectOpenFails("(there is no TVXHDVMemory.INI)");

  char ownId[16];
  std::snprintf(ownId, sizeof(ownId), "%08X", static_cast<unsigned>(platform::ProcessId()));
  EXPECT_EQ(platform::ProfileReadString(TemporaryFile(), "Memory", "SharedMemoryName", "", 260),
            name_);
  EXPECT_EQ(platform::ProfileReadString(TemporaryFile(), "Memory", "CreatorProcessID", "", 360),
            ownId);

  ASSERT_EQ(server_.SharedMemoryInitComplete(), 1);
  EXPECT_FALSE(platform::PathExists(TemporaryFile()));
  EXPECT_EQ(platform::ProfileReadString(RendezvousFile(), "Memory", "SharedMemoryName", "", 260),
            name_);
  OpenConsumer();  // which also finds the fill text it holds
  tvxhdv_info info;
  ASSERT_EQ(tvxhdv_get_info(consumer_.get(), &info), 1);
  EXPECT_EQ(info.name, name_);
  EXPECT_EQ(info.fill_text_matches, 1);

  EXPECT_EQ(server_.SharedMemoryClose(), 1);
  EXPECT_TRUE(platform::PathExists(RendezvousFile()));  // left for the next start to replace
}

TEST_F(OpenTest, ALeftoverRendezvousFileIsReplaced) {
  TempFolder::WriteAll(RendezvousFile(), "[Memory]\r\nSharedMemoryName=old\r\nOther=1\r\n");
  CreateServer();
  EXPECT_EQ(platform::ProfileReadString(RendezvousFile(), "Memory", "SharedMemoryName", "", 260),
            name_);
  EXPECT_EQ(platform::ProfileReadString(RendezvousFile(), "Memory", "Other", "", 260), "");
}

// A consumer reading the leftover just then holds it open, and on Windows an
// open file cannot be removed: the start waits for it instead of failing.
TEST_F(OpenTest, ALeftoverThatAReaderHoldsForAMomentIsReplacedAllTheSame) {
  TempFolder::WriteAll(RendezvousFile(), "[Memory]\r\nSharedMemoryName=old\r\n");
  auto reader = std::make_unique<std::ifstream>(RendezvousFile());
  ASSERT_TRUE(reader->is_open());
  std::thread letGo([&reader] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    reader.reset();
  });
  CreateServer();
  letGo.join();
  EXPECT_EQ(platform::ProfileReadString(RendezvousFile(), "Memory", "SharedMemoryName", "", 260),
            name_);
}

TEST_F(OpenTest, CreateFailuresLeaveNoArea) {
  std::uint32_t version = 0;
  int created = 1;
  EXPECT_EQ(server_.SharedMemoryInit(0, folder_.Path(), version, created), 0);  // only creates
  EXPECT_EQ(created, 0);
  EXPECT_EQ(server_.GetHeader(), nullptr);
  // A rendezvous "file" that cannot be deleted.
  std::filesystem::create_directories(RendezvousFile() + "/inside");
  EXPECT_EQ(server_.SharedMemoryInit(1, folder_.Path(), version, created), 0);
  EXPECT_EQ(server_.GetLastErrorText(),
            "bCreateNew==TRUE but can not delete existing TVXHDVMemory.INI");
  EXPECT_EQ(created, 0);
  EXPECT_EQ(server_.GetHeader(), nullptr);
  EXPECT_EQ(server_.SharedMemoryClose(), -1);

  const std::string missingFolder = folder_.File("missing");
  EXPECT_EQ(server_.SharedMemoryInit(1, missingFolder, version, created), 0);
  const std::string& text = server_.GetLastErrorText();
  EXPECT_TRUE(StartsWith(text, "WritePrivateProfileString/SharedMemoryName (")) << text;
  std::string temporaryFile = missingFolder;
  temporaryFile += platform::PathSeparator();
  temporaryFile += "TVXHDVMemory.TMP";
  temporaryFile += ")";
  EXPECT_TRUE(EndsWith(text, temporaryFile)) << text;
  EXPECT_EQ(server_.GetHeader(), nullptr);
  EXPECT_EQ(server_.SharedMemoryClose(), -1);

  // Both failures released the name: creating now works.
  TempFolder goodFolder;
  EXPECT_EQ(server_.SharedMemoryInit(1, goodFolder.Path(), version, created), 1);
}

TEST_F(OpenTest, PublishingNeverReplacesAnExistingFile) {
  std::uint32_t version = 0;
  int created = 0;
  ASSERT_EQ(server_.SharedMemoryInit(1, folder_.Path(), version, created), 1);
  TempFolder::WriteAll(RendezvousFile(), "someone else's");
  EXPECT_EQ(server_.SharedMemoryInitComplete(), 0);
  EXPECT_EQ(server_.GetLastErrorText(), "SharedMemoryInitComplete: MoveFile error");
  EXPECT_EQ(server_.GetHeader(), nullptr);  // closed
  EXPECT_EQ(server_.SharedMemoryClose(), -1);
  EXPECT_EQ(TempFolder::ReadAll(RendezvousFile()), "someone else's");
}

TEST_F(OpenTest, OpenFailuresNameTheirCause) {
  TempFolder::WriteAll(RendezvousFile(), "[Memory]\r\nCreatorProcessID=00000001\r\n");
  ExpectOpenFails(RendezvousFile() + " names no SharedMemoryName under [Memory]");

  // The area of that name does not exist.
  ASSERT_TRUE(platform::ProfileWriteString(RendezvousFile(), "Memory", "SharedMemoryName",
                                           UniqueAreaName().c_str()));
  ExpectOpenFails("(process 1) is not running any more");
}

TEST_F(OpenTest, AnAreaOfAnotherSizeIsRefusedWhateverItsVersion) {
  CreateServer();
  server_.GetHeader()->totalSize = 4240068;
  server_.GetHeader()->structVersion = 0x12345678;
  ExpectOpenFails("its size field says 4240068, not 4240072");
  const KitHandle look = OpenKit(folder_.Path(), TVXHDV_ANY_LAYOUT);  // still mapped for a look
  ASSERT_NE(look, nullptr) << tvxhdv_last_error();
  tvxhdv_info info;
  ASSERT_EQ(tvxhdv_get_info(look.get(), &info), 1);
  EXPECT_EQ(info.total_size, 4240068u);
}

TEST_F(OpenTest, ASecondServerIsRefusedAndTheFirstKeepsItsArea) {
  CreateServer();
  server_.PutPointerReport(Report(1, 1));
  SharedMemoryChannel second(name_);
  std::uint32_t version = 0;
  int created = 0;
  EXPECT_EQ(second.SharedMemoryInit(1, folder_.Path(), version, created), 0);
  EXPECT_EQ(second.GetLastErrorText(), "The TVXHDV shared memory belongs to a running server");
  EXPECT_TRUE(platform::PathExists(RendezvousFile()));
  EXPECT_EQ(server_.PointerFifoCount(), 1);
  OpenConsumer();  // the first one's area, still published

  server_.SharedMemoryClose();  // once the first has ended the name is free
  EXPECT_EQ(second.SharedMemoryInit(1, folder_.Path(), version, created), 1);
}

// Id 0 stands for a whole process group on Linux: never sent a signal. A
// handle whose file names no creator ends nobody (on Linux it is not even
// opened: no process shows that it holds the area).
TEST_F(OpenTest, TerminatingTheServerNeedsTheCreatorsId) {
  CreateServer();
  for (const char* id : {"", "CreatorProcessID=00000000\r\n"}) {
    TempFolder::WriteAll(RendezvousFile(), "[Memory]\r\nSharedMemoryName=" + name_ + "\r\n" + id);
    const KitHandle handle = OpenKit(folder_.Path());
    if (handle != nullptr) {
      EXPECT_EQ(tvxhdv_terminate_server(handle.get()), 0);
    }
  }
  EXPECT_EQ(tvxhdv_terminate_server(nullptr), 0);
  EXPECT_FALSE(platform::TerminateProcessById(0));
  EXPECT_FALSE(platform::TerminateProcessById(0xFFFFFFFF));
}

}  // namespace
