// The X cursor as the motion benchmark sees it: polls the pointer of the
// display named by $DISPLAY every 0.25 ms and counts the left button's
// presses and releases in a window over the whole screen.
//
//   cursor_watch
//
// Prints "ready WIDTH HEIGHT" once its window is up, then one line per change,
// stamped with the monotonic clock in nanoseconds (the clock of Node's
// process.hrtime): "M NS X Y" when the cursor moved, "P NS" and "R NS" for a
// press and a release of the left button. Ends when standard input ends.
#include <X11/Xlib.h>
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

namespace {

std::int64_t MonotonicNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

bool InputEnded() {
  pollfd input{STDIN_FILENO, POLLIN, 0};
  if (poll(&input, 1, 0) <= 0) return false;
  char byte;
  return read(STDIN_FILENO, &byte, 1) <= 0;
}

}  // namespace

int main() {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr, "cursor_watch: cannot open the display\n");
    return 1;
  }
  const int screen = DefaultScreen(display);
  const int width = DisplayWidth(display, screen);
  const int height = DisplayHeight(display, screen);
  const Window root = RootWindow(display, screen);
  const Window window = XCreateSimpleWindow(display, root, 0, 0, static_cast<unsigned>(width),
                                            static_cast<unsigned>(height), 0, 0, 0);
  XSelectInput(display, window, ButtonPressMask | ButtonReleaseMask | StructureNotifyMask);
  XMapWindow(display, window);
  for (XEvent event;;) {
    XNextEvent(display, &event);
    if (event.type == MapNotify) break;
  }
  std::printf("ready %d %d\n", width, height);
  std::fflush(stdout);

  int lastX = -1;
  int lastY = -1;
  const timespec pause{0, 250000};
  for (int round = 0;; ++round) {
    Window rootReturn = 0, child = 0;
    int x = 0, y = 0, windowX = 0, windowY = 0;
    unsigned mask = 0;
    XQueryPointer(display, root, &rootReturn, &child, &x, &y, &windowX, &windowY, &mask);
    const std::int64_t now = MonotonicNs();
    if (x != lastX || y != lastY) {
      std::printf("M %lld %d %d\n", static_cast<long long>(now), x, y);
      lastX = x;
      lastY = y;
    }
    while (XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      if (event.type != ButtonPress && event.type != ButtonRelease) continue;
      if (event.xbutton.button != Button1) continue;
      std::printf("%c %lld\n", event.type == ButtonPress ? 'P' : 'R', static_cast<long long>(now));
    }
    std::fflush(stdout);
    if (round % 400 == 0 && InputEnded()) break;
    nanosleep(&pause, nullptr);
  }
  XCloseDisplay(display);
  return 0;
}
