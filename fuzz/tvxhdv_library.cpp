// The consumers' kit, compiled once for the targets that take the server's
// reports and send it commands.
#define TVXHDV_IMPLEMENTATION
#include "sdk/c/tvxhdv.h"
