#include "pointer/live_status_refresh.h"

#include <cstdio>
#include <string>

namespace {

std::string FormatCount(std::int32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
  return text;
}

std::string FormatKilobytes(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

}  // namespace

void LiveStatusRefresh::ShowPointer(const LiveStatus& status, LiveStatusView& view) {
  view.ShowX(FormatCount(status.x));
  view.ShowY(FormatCount(status.y));
  buttonLIndicator_ = status.buttonL;
  buttonRIndicator_ = status.buttonR;
  view.ShowButtons(buttonLIndicator_ != 0, buttonRIndicator_ != 0);
  view.ShowOffScreen(status.offScreen == 1);
}

void LiveStatusRefresh::ShowTotals(const ServerStats& stats, LiveStatusView& view) {
  view.ShowActiveConnections(FormatCount(stats.activeConnections));
  view.ShowKbReceived(FormatKilobytes(stats.kbReceived));
  view.ShowKbSent(FormatKilobytes(stats.kbSent));
  view.ShowRequests(FormatCount(stats.requests));
}

void LiveStatusRefresh::ShowRequestsPerSecond(std::int32_t requests, std::uint32_t now,
                                              LiveStatusView& view) {
  if (sampleTick_ == kNoSample) sampleTick_ = now;
  // Unsigned difference, so that the interval also ends across the wrap of
  // the tick count.
  if (now - sampleTick_ < kSampleIntervalMs) return;
  // Start and Reset zero the server's counter while the sample lives on; the
  // requests since then are all of this interval's.
  const std::int32_t counted = requests >= sampleRequests_ ? requests - sampleRequests_ : requests;
  view.ShowRequestsPerSecond(FormatCount(counted));
  sampleTick_ = now;
  sampleRequests_ = requests;
}

void LiveStatusRefresh::ShowVisitors(const ServerStats& stats, LiveStatusView& view) {
  view.ShowVisitors(FormatCount(stats.visitors));
}
