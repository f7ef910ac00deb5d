// Linux: a consumer that truncates the shared memory object under the server.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "common/diagnostic_log.h"
#include "pointer/pointer_protocol.h"
#include "tests/pointer/channel_fixture.h"
#include "tests/support/log_lines.h"

namespace {

std::string Text(const ResponseText& response) {
  return std::string(response.data(), 4);
}

TEST(AreaCutShortTest, ReportsAreStillAnsweredAndTheLossIsLoggedOnce) {
  TempFolder folder;
  const std::atomic<int> selectedPointer{3};
  const int logLevel = 0;
  DiagnosticLog log{folder.File("Test.LOG")};
  PointerProtocol protocol{{selectedPointer, logLevel}, log, [] { return 5000u; }};
  const std::string name = UniqueAreaName();
  SharedMemoryChannel channel{name};
  std::uint32_t version = 0;
  int created = 0;
  ASSERT_EQ(channel.SharedMemoryInit(1, folder.Path(), version, created), 1);
  protocol.AttachChannel(&channel);
  protocol.QueueVibrateCommand(kVibrateShortSingle);

  const int object = shm_open(("/" + name).c_str(), O_RDWR, 0);
  ASSERT_GE(object, 0);
  ASSERT_EQ(ftruncate(object, 0), 0);
  close(object);

  EXPECT_EQ(Text(protocol.HandlePointerReport("/tolvex10003000180008000000200")), "01A0");
  EXPECT_EQ(Text(protocol.HandlePointerReport("/tolvex10003000280008000000201")), "0100");
  EXPECT_EQ(channel.PutPointerReport(Report(3, 3)), 0);  // the channel has failed
  EXPECT_EQ(LogMessages(log.Path()),
            std::vector<std::string>{"The TVXHDV shared memory was cut short by another process: "
                                     "nothing is forwarded any more"});

  // The session makes a new area: the reports that found the old one cut
  // short are in it, in their order.
  protocol.AttachChannel(nullptr);
  ASSERT_EQ(channel.SharedMemoryInit(1, folder.Path(), version, created), 1);
  PointerFifo& fifo = channel.GetHeader()->pointerFifo;
  PointerReportRecord forwarded{};
  for (const std::uint32_t frame : {1u, 2u, 3u}) {
    ASSERT_EQ(FifoRing<PointerFifo>(fifo).Get(forwarded), 1) << frame;
    EXPECT_EQ(forwarded.frame, frame);
    EXPECT_EQ(forwarded.pointer, 3u);
  }
  EXPECT_EQ(FifoRing<PointerFifo>(fifo).Get(forwarded), 0);
}

}  // namespace
