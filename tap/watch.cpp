#include "tap/watch.h"

#include <csignal>
#include <cstdio>

#include "platform/process.h"
#include "sdk/c/tvxhdv.h"
#include "tap/report_lines.h"
#include "tap/tap_messages.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;

extern "C" void RequestStop(int) {
  stopRequested = 1;
}

// Prints what the handle holds.
void PrintReports(tvxhdv* handle, bool json) {
  tvxhdv_report reports[256];
  char line[256];
  for (int count; stopRequested == 0 && (count = tvxhdv_read(handle, reports, 256)) > 0;) {
    for (int i = 0; i < count; ++i) {
      const std::size_t length = json ? FormatReportJson(reports[i], line, sizeof(line))
                                      : FormatReportText(reports[i], line, sizeof(line));
      std::fwrite(line, 1, length, stdout);
    }
    std::fflush(stdout);
  }
}

}  // namespace

int Watch(const std::string& folder, bool json, bool fromNow) {
  std::signal(SIGINT, RequestStop);
  std::signal(SIGTERM, RequestStop);
  platform::UseFineSleepGranularity();

  tvxhdv* handle = tvxhdv_open(folder.c_str(), fromNow ? TVXHDV_FROM_NOW : 0);
  if (handle == nullptr) return ReportFailure();
  while (stopRequested == 0) {
    switch (tvxhdv_wait(handle, 100)) {
      case TVXHDV_SERVER_GONE:
        PrintReports(handle, json);  // what it left behind
        // The library says why it let go: the server ended, or its area was
        // damaged while it runs.
        std::fprintf(stderr, "TVXTap: %s Waiting for the next server in %s\n", tvxhdv_last_error(),
                     folder.c_str());
        break;
      case TVXHDV_SERVER_NEW:
        std::fprintf(stderr, "TVXTap: a server runs again; watching its reports\n");
        break;
      default:
        PrintReports(handle, json);
    }
  }
  tvxhdv_close(handle);
  return 0;
}
