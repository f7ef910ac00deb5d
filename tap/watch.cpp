#include "tap/watch.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>

#include "platform/paths.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "platform/shared_memory.h"
#include "pointer/shared_memory_channel.h"
#include "tap/report_lines.h"
#include "tap/tap_messages.h"

namespace {

using namespace std::chrono_literals;

volatile std::sig_atomic_t stopRequested = 0;

extern "C" void RequestStop(int) {
  stopRequested = 1;
}

// How often an idle watch asks whether its server still runs.
constexpr int kIdlePollsPerCheck = 50;  // 50 polls of 20 ms: once a second

// The server that published the area: its process id as the rendezvous file
// names it, empty while no file is there.
std::string PublishedCreator(const std::string& folder) {
  return platform::ProfileReadString(folder + platform::PathSeparator() + "TVXHDVMemory.INI",
                                     "Memory", "CreatorProcessID", "", 360);
}

bool Open(SharedMemoryChannel& channel, const std::string& folder) {
  std::uint32_t structVersion = 0;
  int created = 0;
  return channel.SharedMemoryInit(0, folder, structVersion, created) == 1;
}

// Prints what the FIFO holds; true when there was anything.
bool PrintReports(SharedMemoryChannel& channel, bool json) {
  char line[256];
  bool took = false;
  PointerReportRecord report;
  while (stopRequested == 0 && channel.GetPointerReport(report) == 1) {
    const std::size_t length = json ? FormatReportJson(report, line, sizeof(line))
                                    : FormatReportText(report, line, sizeof(line));
    std::fwrite(line, 1, length, stdout);
    std::fflush(stdout);
    took = true;
  }
  return took;
}

// Polls the report FIFO every 1 ms while reports flow, backing off to 20 ms
// once idle, so that an idle watch costs next to nothing. Returns when the
// server is gone (true) or a stop was requested (false).
bool WatchServer(SharedMemoryChannel& channel, bool json, const std::string& folder,
                 const std::string& creator) {
  int idlePolls = 0;
  while (stopRequested == 0) {
    idlePolls = PrintReports(channel, json) ? 0 : idlePolls + 1;
    if (idlePolls >= 200 && idlePolls % kIdlePollsPerCheck == 0) {
      // A new server in the folder replaced this one (on Linux its area is
      // a new object); otherwise ask whether the area still has its creator.
      if (PublishedCreator(folder) != creator) return true;
      if (!platform::SharedMemory::IsClaimedByRunningCreator(channel.GetMappingName())) {
        return true;
      }
    }
    std::this_thread::sleep_for(idlePolls < 200 ? 1ms : 20ms);
  }
  return false;
}

// Waits until a server other than the one that ended publishes its area;
// false when a stop was requested first.
bool AwaitNextServer(SharedMemoryChannel& channel, const std::string& folder,
                     const std::string& endedCreator) {
  while (stopRequested == 0) {
    const std::string creator = PublishedCreator(folder);
    if (!creator.empty() && creator != endedCreator && Open(channel, folder)) return true;
    std::this_thread::sleep_for(250ms);
  }
  return false;
}

}  // namespace

int Watch(const std::string& folder, bool json, bool fromNow) {
  std::signal(SIGINT, RequestStop);
  std::signal(SIGTERM, RequestStop);
  platform::UseFineSleepGranularity();

  SharedMemoryChannel channel;
  if (!Open(channel, folder)) return ReportOpenFailure(channel, folder);
  if (fromNow) channel.ResetPointerFifoRead();
  for (;;) {
    const std::string creator = PublishedCreator(folder);
    if (!WatchServer(channel, json, folder, creator)) return 0;
    PrintReports(channel, json);  // what it left behind
    channel.SharedMemoryClose();
    std::fprintf(stderr, "TVXTap: the server has ended; waiting for the next one in %s\n",
                 folder.c_str());
    if (!AwaitNextServer(channel, folder, creator)) return 0;
    std::fprintf(stderr, "TVXTap: a server runs again; watching its reports\n");
  }
}
