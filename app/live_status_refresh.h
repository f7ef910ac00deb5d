// Puts the selected pointer's state and the server's statistics into the
// dialog's state, formatted as the dialog shows them.
#pragma once

#include <cstdint>
#include <string>

#include "app/dialog_state.h"
#include "pointer/live_status.h"
#include "server/server_stats.h"

class LiveStatusRefresh {
 public:
  // X, Y, the two button indicators and the Off-Screen box.
  void ShowPointer(const LiveStatus& status, DialogLiveStatus& shown);
  // Active connections, KB received, KB sent, requests and visitors.
  void ShowTotals(const ServerStats& stats, DialogStatistics& shown);
  // The requests of the last interval of at least a second, once that
  // interval is over; until then the field keeps its text.
  void ShowRequestsPerSecond(std::int32_t requests, std::uint32_t now, DialogStatistics& shown);

 private:
  static std::string VisitorsText(const ServerStats& stats);

  static constexpr std::uint32_t kNoSample = 0xFFFFFFFF;
  static constexpr std::uint32_t kSampleIntervalMs = 1000;

  // Kept across server restarts, like everything here.
  std::uint32_t sampleTick_ = kNoSample;
  std::int32_t sampleRequests_ = 0;
};
