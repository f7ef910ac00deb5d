// The consumer's library that TVXBridge is built on, compiled once for it.
#define TVXHDV_IMPLEMENTATION
#include "sdk/c/tvxhdv.h"
