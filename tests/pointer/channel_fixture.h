// What the shared memory tests share: a fresh area name per test, a created,
// published area in a temp folder, and the consumers' kit on the other side.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/process.h"
#include "pointer/fifo_ring.h"
#include "pointer/shared_memory_channel.h"
#include "sdk/c/tvxhdv.h"
#include "tests/support/temp_folder.h"

// Area names are global on the machine: one of its own for every test.
inline std::string UniqueAreaName() {
  static std::atomic<int> counter{0};
  return "TVXHandvane test area " + std::to_string(platform::ProcessId()) + "-" +
         std::to_string(counter++);
}

// A consumer's handle from the kit, closed with its owner.
using KitHandle = std::unique_ptr<tvxhdv, decltype(&tvxhdv_close)>;

// Opens the area published in folder as a consumer does; empty on failure,
// with tvxhdv_last_error() saying why.
inline KitHandle OpenKit(const std::string& folder, unsigned flags = 0) {
  return KitHandle(tvxhdv_open(folder.c_str(), flags), &tvxhdv_close);
}

// A command as a consumer built without the kit may put it: any pointer
// number with a FIFO, any 32-bit values.
inline int PutRawCommand(SharedMemoryArea& area, int pointer, const CommandRecord& record) {
  if (pointer < 0 || pointer >= kCommandFifoCount) return 0;
  return FifoRing<CommandFifo>(area.commandFifos[pointer]).Put(record);
}

class ChannelTest : public testing::Test {
 protected:
  // Creates the area in folder_ and publishes the rendezvous file.
  void CreateServer() {
    std::uint32_t version = 0;
    int created = 0;
    ASSERT_EQ(server_.SharedMemoryInit(1, folder_.Path(), version, created), 1)
        << server_.GetLastErrorText();
    ASSERT_EQ(created, 1);
    ASSERT_EQ(server_.SharedMemoryInitComplete(), 1) << server_.GetLastErrorText();
  }

  // Opens the published area as a consumer does, in place of the one open:
  // only one handle may read the reports.
  void OpenConsumer(unsigned flags = 0) {
    consumer_.reset();
    consumer_ = OpenKit(folder_.Path(), flags);
    ASSERT_NE(consumer_, nullptr) << tvxhdv_last_error();
  }

  // The consumer's next report; false when none is queued.
  bool TakeReport(tvxhdv_report& report) { return tvxhdv_read(consumer_.get(), &report, 1) == 1; }

  TempFolder folder_;
  std::string name_ = UniqueAreaName();
  SharedMemoryChannel server_{name_};
  KitHandle consumer_{nullptr, &tvxhdv_close};
};

inline PointerReportRecord Report(std::uint32_t pointer, std::uint32_t frame) {
  PointerReportRecord report;
  report.screen = 1;
  report.frame = frame;
  report.pointer = pointer;
  report.x = 1000 + frame;
  report.y = 2000 + frame;
  report.flags = PointerReportFlags(1, 0, 0);
  return report;
}
