// The consumers' kit, compiled once for the test suites that play the
// consuming application.
#define TVXHDV_IMPLEMENTATION
#include "sdk/c/tvxhdv.h"
