#include "app/timer_tick.h"

void TimerTick::Run() {
  const std::uint32_t now = wiring_.tickCount();
  DialogState& state = wiring_.state;
  if (wiring_.pointers.MarkSilentPointers(now)) state.live.offScreen = true;

  liveStatusRefresh_.ShowPointer(wiring_.pointers.ReadLiveStatus(), state.live);

  ServerStats stats;
  wiring_.statistics.GetStatistics(stats);
  liveStatusRefresh_.ShowTotals(stats, state.statistics);
  liveStatusRefresh_.ShowRequestsPerSecond(stats.requests, wiring_.tickCount(), state.statistics);
}
