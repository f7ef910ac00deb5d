/* The kit's declarations as a C89 compiler sees them: applications include
 * the header from sources of any age. Built with TVXHDV_DROP_A_RESULT, the
 * compiler has to warn that a result was dropped. */
#include "sdk/c/tvxhdv.h"

int tvxhdv_header_check(tvxhdv *h) {
  tvxhdv_report report;
#ifdef TVXHDV_DROP_A_RESULT
  tvxhdv_read(h, &report, 1);
#endif
  return tvxhdv_read(h, &report, 1);
}
