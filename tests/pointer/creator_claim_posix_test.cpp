// Linux: what other processes do to the object must not make a creator fail.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <unistd.h>

#include "tests/pointer/channel_fixture.h"

namespace {

// Earlier probes took a shared lock on the object for a moment; one taken
// just as a server starts must not be read as a running server.
TEST_F(ChannelTest, AProbeHoldingTheObjectDoesNotStopACreator) {
  const int object = shm_open(("/" + name_).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_GE(object, 0);
  ASSERT_EQ(flock(object, LOCK_SH | LOCK_NB), 0);
  CreateServer();
  EXPECT_TRUE(platform::SharedMemory::IsClaimedByRunningCreator(name_));
  close(object);
}

// A server built when the claim was an exclusive flock still keeps its area.
TEST_F(ChannelTest, AnEarlierKindOfServerStillKeepsItsArea) {
  const int object = shm_open(("/" + name_).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_GE(object, 0);
  ASSERT_EQ(flock(object, LOCK_EX | LOCK_NB), 0);
  std::uint32_t version = 0;
  int created = 0;
  EXPECT_EQ(server_.SharedMemoryInit(1, folder_.Path(), version, created), 0);
  EXPECT_EQ(server_.GetLastErrorText(), "The TVXHDV shared memory belongs to a running server");
  close(object);
  shm_unlink(("/" + name_).c_str());
}

// A name removed under a running server (logind does so at log-out) may go
// to a second server; the first one's end must not remove that one's area.
TEST_F(ChannelTest, AServerThatLostItsNameLeavesTheNextServersAreaAlone) {
  CreateServer();
  EXPECT_TRUE(server_.AreaStillNamed());
  ASSERT_EQ(shm_unlink(("/" + name_).c_str()), 0);
  EXPECT_FALSE(server_.AreaStillNamed());

  TempFolder secondFolder;
  SharedMemoryChannel second{name_};
  std::uint32_t version = 0;
  int created = 0;
  ASSERT_EQ(second.SharedMemoryInit(1, secondFolder.Path(), version, created), 1)
      << second.GetLastErrorText();
  EXPECT_FALSE(server_.AreaStillNamed());
  EXPECT_EQ(server_.SharedMemoryClose(), 1);
  EXPECT_TRUE(second.AreaStillNamed());
  EXPECT_TRUE(platform::SharedMemory::IsClaimedByRunningCreator(name_));
}

}  // namespace
