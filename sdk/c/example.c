/* Prints every report; a phone whose left button goes down gets a vibration. */
#define TVXHDV_IMPLEMENTATION
#include "tvxhdv.h"
#include <stdio.h>

int main(int argc, char **argv) {
  tvxhdv_report reports[64];
  int was_left[TVXHDV_POINTERS] = {0}, count, i;
  tvxhdv *h = tvxhdv_open(argc > 1 ? argv[1] : ".", TVXHDV_FROM_NOW);
  if (h == NULL) return fprintf(stderr, "%s\n", tvxhdv_last_error()), 1;
  for (;;) {
    switch (tvxhdv_wait(h, 1000)) {
      case TVXHDV_SERVER_GONE: puts("The server ended; waiting for the next."); break;
      case TVXHDV_SERVER_NEW: puts("A new server runs."); break;
    }
    count = tvxhdv_read(h, reports, 64);
    for (i = 0; i < count; ++i) {
      const tvxhdv_report *r = &reports[i];
      printf("pointer %u x %u y %u left %d on_pad %d\n", r->pointer, r->x, r->y, r->left, r->on_pad);
      if (r->left && !was_left[r->pointer]) tvxhdv_vibrate(h, (int)r->pointer, TVXHDV_SHORT_SINGLE);
      was_left[r->pointer] = r->left;
    }
    fflush(stdout);
  }
}
