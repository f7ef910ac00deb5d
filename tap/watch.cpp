#include "tap/watch.h"

#include <csignal>
#include <cstdio>

#include "platform/process.h"
#include "sdk/c/tvxhdv.h"
#include "tap/report_lines.h"
#include "tap/tap_messages.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;

// The pointers' names as the server last gave them. Asked once at the start,
// so that the handle tells every rename among its presence changes, and
// read again whenever it tells of a change.
struct PointerNamesSeen {
  char text[TVXHDV_POINTERS][TVXHDV_NAME_MAX + 1] = {};

  void ReadFrom(tvxhdv* handle) {
    for (unsigned p = 0; p < TVXHDV_POINTERS; ++p) {
      if (tvxhdv_name(handle, p, text[p], sizeof text[p]) <= 0) text[p][0] = '\0';
    }
  }
  const char* Of(unsigned pointer) const { return pointer < TVXHDV_POINTERS ? text[pointer] : ""; }
};

extern "C" void RequestStop(int) {
  stopRequested = 1;
}

// Prints what the handle holds.
void PrintReports(tvxhdv* handle, bool json, const PointerNamesSeen& names) {
  tvxhdv_report reports[256];
  char line[kReportLineSize];
  for (int count; stopRequested == 0 && (count = tvxhdv_read(handle, reports, 256)) > 0;) {
    for (int i = 0; i < count; ++i) {
      const char* name = names.Of(reports[i].pointer);
      const std::size_t length = json ? FormatReportJson(reports[i], name, line, sizeof(line))
                                      : FormatReportText(reports[i], name, line, sizeof(line));
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
  static PointerNamesSeen names;
  names.ReadFrom(handle);
  while (stopRequested == 0) {
    switch (tvxhdv_wait(handle, 100)) {
      case TVXHDV_SERVER_GONE:
        PrintReports(handle, json, names);  // what it left behind
        names = PointerNamesSeen();
        // The library says why it let go: the server ended, or its area was
        // damaged while it runs.
        std::fprintf(stderr, "TVXTap: %s Waiting for the next server in %s\n", tvxhdv_last_error(),
                     folder.c_str());
        break;
      case TVXHDV_SERVER_NEW:
        std::fprintf(stderr, "TVXTap: a server runs again; watching its reports\n");
        names.ReadFrom(handle);
        break;
      case TVXHDV_PRESENCE:
        names.ReadFrom(handle);
        PrintReports(handle, json, names);
        break;
      default:
        PrintReports(handle, json, names);
    }
  }
  tvxhdv_close(handle);
  return 0;
}
