#include "pointer/live_status_refresh.h"

#include <cstdio>
#include <string>

#include "app/dialog_controls.h"

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

void LiveStatusRefresh::ShowPointer(const LiveStatus& status, DialogView& view) {
  view.SetItemText(kControlPointerX, FormatCount(status.x));
  view.SetItemText(kControlPointerY, FormatCount(status.y));
  buttonLIndicator_ = status.buttonL;
  buttonRIndicator_ = status.buttonR;
  view.RepaintIndicators();
  view.CheckBox(kControlOffScreen, status.offScreen == 1);
}

void LiveStatusRefresh::ShowTotals(const ServerStats& stats, DialogView& view) {
  view.SetItemText(kControlActiveConnections, FormatCount(stats.activeConnections));
  view.SetItemText(kControlKbReceived, FormatKilobytes(stats.kbReceived));
  view.SetItemText(kControlKbSent, FormatKilobytes(stats.kbSent));
  view.SetItemText(kControlRequests, FormatCount(stats.requests));
}

void LiveStatusRefresh::ShowRequestsPerSecond(std::int32_t requests, std::uint32_t now,
                                              DialogView& view) {
  if (sampleTick_ == kNoSample) sampleTick_ = now;
  // Unsigned difference, so that the interval also ends across the wrap of
  // the tick count.
  if (now - sampleTick_ < kSampleIntervalMs) return;
  // Start and Reset zero the server's counter while the sample lives on; the
  // requests since then are all of this interval's.
  const std::int32_t counted = requests >= sampleRequests_ ? requests - sampleRequests_ : requests;
  view.SetItemText(kControlRequestsPerSecond, FormatCount(counted));
  sampleTick_ = now;
  sampleRequests_ = requests;
}

void LiveStatusRefresh::ShowVisitors(const ServerStats& stats, DialogView& view) {
  view.SetItemText(kControlVisitors, FormatCount(stats.visitors));
}
