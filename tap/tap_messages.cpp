#include "tap/tap_messages.h"

#include <cstdio>

#include "sdk/c/tvxhdv.h"

int ReportFailure() {
  std::fprintf(stderr, "TVXTap: %s\n", tvxhdv_last_error());
  return 1;
}
