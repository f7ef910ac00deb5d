/* The kit as a shared library (libtvxhdv.so, tvxhdv.dll) for languages that
   call C: every tvxhdv_ function, exported as the header declares it. */
#define TVXHDV_IMPLEMENTATION
#include "tvxhdv.h"
