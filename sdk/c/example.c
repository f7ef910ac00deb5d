/* Prints every report and every phone that comes or goes; a phone whose left
 * button goes down gets a vibration. Starts before the server if need be. */
#define TVXHDV_IMPLEMENTATION
#include "tvxhdv.h"
#include <stdio.h>

int main(int argc, char **argv) {
  tvxhdv_report reports[64];
  tvxhdv_presence_change changes[16];
  int was_left[TVXHDV_POINTERS] = {0}, count, i;
  tvxhdv *h = tvxhdv_open(argc > 1 ? argv[1] : ".", TVXHDV_FROM_NOW | TVXHDV_WAIT_FOR_SERVER);
  if (h == NULL) return fprintf(stderr, "%s\n", tvxhdv_last_error()), 1;
  for (;;) {
    switch (tvxhdv_wait(h, 1000)) {
      case TVXHDV_SERVER_GONE: printf("%s Waiting for the next.\n", tvxhdv_last_error()); break;
      case TVXHDV_SERVER_NEW: puts("A server runs."); break;
      case TVXHDV_PRESENCE:
        count = tvxhdv_presence(h, changes, 16);
        for (i = 0; i < count; ++i) printf("pointer %u %s\n", changes[i].pointer, changes[i].joined ? "joined" : "left");
    }
    count = tvxhdv_read(h, reports, 64);
    for (i = 0; i < count; ++i) {
      const tvxhdv_report *r = &reports[i];
      printf("pointer %u x %u y %u left %d on_pad %d\n", r->pointer, r->x, r->y, r->left, r->on_pad);
      if (r->left && !was_left[r->pointer] && tvxhdv_vibrate(h, (int)r->pointer, TVXHDV_SHORT_SINGLE) != TVXHDV_OK)
        fprintf(stderr, "No vibration: %s\n", tvxhdv_last_error());
      was_left[r->pointer] = r->left;
    }
    fflush(stdout);
  }
}
