// The window front end of a build that has none: the console runs instead.
#include "app/window_front_end.h"

bool CanShowWindow() {
  return false;
}

int RunWindowFrontEnd(Application&) {
  return 1;
}
