#include "app/live_status_refresh.h"

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

void LiveStatusRefresh::ShowPointer(const LiveStatus& status, DialogLiveStatus& shown) {
  shown.x = FormatCount(status.x);
  shown.y = FormatCount(status.y);
  shown.buttonL = status.buttonL != 0;
  shown.buttonR = status.buttonR != 0;
  shown.offScreen = status.offScreen == 1;
}

void LiveStatusRefresh::ShowTotals(const ServerStats& stats, DialogStatistics& shown) {
  shown.activeConnections = FormatCount(stats.activeConnections);
  shown.kbReceived = FormatKilobytes(stats.kbReceived);
  shown.kbSent = FormatKilobytes(stats.kbSent);
  shown.requests = FormatCount(stats.requests);
  shown.visitors = VisitorsText(stats);
}

// "65536+" once the count stopped at its limit; phones refused for the
// access key follow apart: "12, 3 refused".
std::string LiveStatusRefresh::VisitorsText(const ServerStats& stats) {
  std::string text = FormatCount(stats.visitors);
  if (stats.visitorsCapped) text += '+';
  if (stats.refusedPhones == 0) return text;
  text += ", " + FormatCount(stats.refusedPhones);
  if (stats.refusedPhonesCapped) text += '+';
  return text + " refused";
}

void LiveStatusRefresh::ShowRequestsPerSecond(std::int32_t requests, std::uint32_t now,
                                              DialogStatistics& shown) {
  if (sampleTick_ == kNoSample) sampleTick_ = now;
  // Unsigned difference, so that the interval also ends across the wrap of
  // the tick count.
  if (now - sampleTick_ < kSampleIntervalMs) return;
  // Start and Reset zero the server's counter while the sample lives on; the
  // requests since then are all of this interval's.
  const std::int32_t counted = requests >= sampleRequests_ ? requests - sampleRequests_ : requests;
  shown.requestsPerSecond = FormatCount(counted);
  sampleTick_ = now;
  sampleRequests_ = requests;
}
