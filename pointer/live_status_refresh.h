// Shows the selected pointer's state and the server's statistics in the dialog.
#pragma once

#include <cstdint>

#include "pointer/live_status.h"
#include "pointer/live_status_view.h"
#include "server/server_stats.h"

class LiveStatusRefresh {
 public:
  // X, Y, the two button indicators and the Off-Screen box.
  void ShowPointer(const LiveStatus& status, LiveStatusView& view);
  // Active connections, KB received, KB sent and requests, in that order.
  void ShowTotals(const ServerStats& stats, LiveStatusView& view);
  // The requests of the last interval of at least a second, once that
  // interval is over; until then the field keeps its text.
  void ShowRequestsPerSecond(std::int32_t requests, std::uint32_t now, LiveStatusView& view);
  void ShowVisitors(const ServerStats& stats, LiveStatusView& view);

  // What the dialog paints the indicator squares from.
  std::int32_t ButtonLIndicator() const { return buttonLIndicator_; }
  std::int32_t ButtonRIndicator() const { return buttonRIndicator_; }

 private:
  static constexpr std::uint32_t kNoSample = 0xFFFFFFFF;
  static constexpr std::uint32_t kSampleIntervalMs = 1000;

  std::int32_t buttonLIndicator_ = 0;
  std::int32_t buttonRIndicator_ = 0;
  // Kept across server restarts, like everything here.
  std::uint32_t sampleTick_ = kNoSample;
  std::int32_t sampleRequests_ = 0;
};
