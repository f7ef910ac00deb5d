// What the shared memory tests share: a fresh area name per test and a
// created, published area in a temp folder.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/process.h"
#include "pointer/shared_memory_channel.h"
#include "tests/support/temp_folder.h"

// Area names are global on the machine: one of its own for every test.
inline std::string UniqueAreaName() {
  static std::atomic<int> counter{0};
  return "TVXHandvane test area " + std::to_string(platform::ProcessId()) + "-" +
         std::to_string(counter++);
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

  // Opens the published area as a consumer does.
  void OpenConsumer() {
    std::uint32_t version = 0;
    int created = 0;
    ASSERT_EQ(consumer_.SharedMemoryInit(0, folder_.Path(), version, created), 1)
        << consumer_.GetLastErrorText();
    ASSERT_EQ(version, StructVersion);
    ASSERT_EQ(created, 0);
  }

  TempFolder folder_;
  std::string name_ = UniqueAreaName();
  SharedMemoryChannel server_{name_};
  SharedMemoryChannel consumer_{name_};
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
