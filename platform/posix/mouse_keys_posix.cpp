#include "platform/mouse_keys.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <array>

namespace platform {
namespace {

// The connection to the X display named by $DISPLAY with the XTest extension,
// opened at first use and kept for the life of the process. Only the dialog's
// thread drives it.
class XTestDisplay {
 public:
  XTestDisplay() {
    display_ = XOpenDisplay(nullptr);
    if (display_ == nullptr) return;
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(display_, &eventBase, &errorBase, &major, &minor)) {
      XCloseDisplay(display_);
      display_ = nullptr;
      return;
    }
    // Xlib ends the whole program when a connection breaks; for this one it
    // only ends the emulation. Other connections keep the handler they had.
    ownConnection_ = display_;
    previousIoErrorHandler_ = XSetIOErrorHandler(&XTestDisplay::OnIoError);
    XSetIOErrorExitHandler(display_, &XTestDisplay::OnConnectionLost, this);
    screen_ = DefaultScreen(display_);
    width_ = DisplayWidth(display_, screen_);
    height_ = DisplayHeight(display_, screen_);
    ctrlKeys_ = {Keycode(XK_Control_L), Keycode(XK_Control_R)};
    shiftKeys_ = {Keycode(XK_Shift_L), Keycode(XK_Shift_R)};
  }
  ~XTestDisplay() {
    if (display_ != nullptr) XCloseDisplay(display_);
  }
  XTestDisplay(const XTestDisplay&) = delete;
  XTestDisplay& operator=(const XTestDisplay&) = delete;

  bool Usable() const { return display_ != nullptr && !lost_; }

  void Send(std::uint32_t flags, std::int32_t x, std::int32_t y) {
    if (flags & kMouseMove) {
      if (flags & kMouseAbsolute) {
        XTestFakeMotionEvent(display_, screen_, ScaleToPixels(x, width_), ScaleToPixels(y, height_),
                             CurrentTime);
      } else {
        XTestFakeRelativeMotionEvent(display_, x, y, CurrentTime);
      }
    }
    if (flags & kMouseLeftDown) XTestFakeButtonEvent(display_, Button1, True, CurrentTime);
    if (flags & kMouseLeftUp) XTestFakeButtonEvent(display_, Button1, False, CurrentTime);
    if (flags & kMouseRightDown) XTestFakeButtonEvent(display_, Button3, True, CurrentTime);
    if (flags & kMouseRightUp) XTestFakeButtonEvent(display_, Button3, False, CurrentTime);
    XFlush(display_);
  }

  bool IsCtrlHeld() { return AnyHeld(ctrlKeys_); }
  bool IsShiftHeld() { return AnyHeld(shiftKeys_); }

 private:
  using KeyPair = std::array<KeyCode, 2>;

  // 0 to 65535 onto 0 to size - 1, so that 65535 is the last pixel.
  static int ScaleToPixels(std::int32_t absolute, int size) {
    const long long clamped = std::clamp<std::int32_t>(absolute, 0, kMouseAbsoluteMax);
    return static_cast<int>(clamped * (size - 1) / kMouseAbsoluteMax);
  }

  static int OnIoError(Display* display) {
    if (display == ownConnection_ || previousIoErrorHandler_ == nullptr) return 0;
    return previousIoErrorHandler_(display);
  }
  static void OnConnectionLost(Display*, void* self) {
    static_cast<XTestDisplay*>(self)->lost_ = true;
  }

  KeyCode Keycode(KeySym symbol) const { return XKeysymToKeycode(display_, symbol); }

  bool AnyHeld(const KeyPair& keys) {
    char keymap[32] = {};
    XQueryKeymap(display_, keymap);
    return std::any_of(keys.begin(), keys.end(), [&](KeyCode key) {
      return key != 0 && (keymap[key / 8] & (1 << (key % 8))) != 0;
    });
  }

  static inline Display* ownConnection_ = nullptr;
  static inline XIOErrorHandler previousIoErrorHandler_ = nullptr;

  Display* display_ = nullptr;
  bool lost_ = false;
  int screen_ = 0;
  int width_ = 0;
  int height_ = 0;
  KeyPair ctrlKeys_{};
  KeyPair shiftKeys_{};
};

XTestDisplay& TheDisplay() {
  static XTestDisplay display;
  return display;
}

}  // namespace

bool MouseEmulationAvailable() {
  return TheDisplay().Usable();
}

bool SendMouseEvent(std::uint32_t flags, std::int32_t x, std::int32_t y) {
  XTestDisplay& display = TheDisplay();
  if (!display.Usable()) return false;
  display.Send(flags, x, y);
  return true;
}

bool IsCtrlHeld() {
  return TheDisplay().Usable() && TheDisplay().IsCtrlHeld();
}
bool IsShiftHeld() {
  return TheDisplay().Usable() && TheDisplay().IsShiftHeld();
}

}  // namespace platform
