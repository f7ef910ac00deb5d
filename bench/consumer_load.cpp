// What a consuming application costs while a class of phones reports: the
// loop of sdk/README.md (wait, presence, read) first with tvxhdv_wait, then
// with tvxhdv_wait_gathered, each for the same time against the same load.
//
//   consumer_load FOLDER [seconds] [gather_ms]
//
// FOLDER holds the server's rendezvous file; the reports must already flow
// (or start within 30 s). Prints, for each loop, its processor time as a
// share of a core, its returns per second and the reports it read per second.
#define TVXHDV_IMPLEMENTATION
#include "sdk/c/tvxhdv.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

using Clock = std::chrono::steady_clock;

struct Cost {
  double cpuPercent = 0;
  double returnsPerSecond = 0;
  double reportsPerSecond = 0;
};

// Runs the loop for seconds, waiting by gathering when gatherMs > 0.
Cost RunLoop(tvxhdv* consumer, double seconds, int gatherMs) {
  tvxhdv_report reports[256];
  tvxhdv_presence_change changes[80];
  long returns = 0;
  long taken = 0;
  const std::clock_t cpuStart = std::clock();
  const Clock::time_point until = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                     std::chrono::duration<double>(seconds));
  while (Clock::now() < until) {
    const int event =
        gatherMs > 0 ? tvxhdv_wait_gathered(consumer, 100, gatherMs) : tvxhdv_wait(consumer, 100);
    ++returns;
    if (event == TVXHDV_PRESENCE) (void)tvxhdv_presence(consumer, changes, 80);
    for (int count; (count = tvxhdv_read(consumer, reports, 256)) > 0;) taken += count;
  }
  const double cpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
  return {100 * cpu / seconds, static_cast<double>(returns) / seconds,
          static_cast<double>(taken) / seconds};
}

void Print(const char* name, const Cost& cost) {
  std::printf("%-34s %.2f %% of a core, %.0f returns/s, %.0f reports/s\n", name, cost.cpuPercent,
              cost.returnsPerSecond, cost.reportsPerSecond);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: consumer_load FOLDER [seconds] [gather_ms]\n");
    return 2;
  }
  const double seconds = argc > 2 ? std::atof(argv[2]) : 5;
  const int gatherMs = argc > 3 ? std::atoi(argv[3]) : 2;
  tvxhdv* consumer = tvxhdv_open(argv[1], TVXHDV_FROM_NOW);
  if (consumer == nullptr) {
    std::fprintf(stderr, "consumer_load: %s\n", tvxhdv_last_error());
    return 1;
  }
  const Clock::time_point giveUp = Clock::now() + std::chrono::seconds(30);
  while (tvxhdv_wait(consumer, 1000) != TVXHDV_REPORTS) {
    if (Clock::now() > giveUp) {
      std::fprintf(stderr, "consumer_load: no reports came\n");
      return 1;
    }
  }
  (void)tvxhdv_skip(consumer);
  const Cost plain = RunLoop(consumer, seconds, 0);
  const Cost gathered = RunLoop(consumer, seconds, gatherMs);
  Print("tvxhdv_wait", plain);
  char name[64];
  std::snprintf(name, sizeof name, "tvxhdv_wait_gathered, %d ms", gatherMs);
  Print(name, gathered);
  tvxhdv_close(consumer);
  return 0;
}
