// A second process for the shared memory tests.
//   shared_memory_peer create FOLDER NAME COUNT  create the area NAME, put COUNT
//                                                reports for pointer 7, publish, wait
//   shared_memory_peer idle                      just wait
// Either way it waits until it is ended, at most a minute.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "pointer/shared_memory_channel.h"

namespace {

void WaitToBeEnded() {
  for (int i = 0; i < 6000; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "idle" && argc == 2) {
    WaitToBeEnded();
    return 0;
  }
  if (mode != "create" || argc != 5) return 2;

  SharedMemoryChannel channel(argv[3]);
  std::uint32_t version = 0;
  int created = 0;
  if (channel.SharedMemoryInit(1, argv[2], version, created) != 1) {
    std::fprintf(stderr, "%s\n", channel.GetLastErrorText().c_str());
    return 1;
  }
  const int count = std::atoi(argv[4]);
  for (int frame = 0; frame < count; ++frame) {
    PointerReportRecord report;
    report.pointer = 7;
    report.frame = static_cast<std::uint32_t>(frame);
    report.x = 100 + static_cast<std::uint32_t>(frame);
    channel.PutPointerReport(report);
  }
  if (channel.SharedMemoryInitComplete() != 1) return 1;
  WaitToBeEnded();
  return 0;
}
