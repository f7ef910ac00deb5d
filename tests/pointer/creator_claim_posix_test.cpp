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

}  // namespace
