#include "platform/mouse_keys.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xinerama.h>
#include <X11/extensions/Xrandr.h>
#include <X11/keysym.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/posix/background_connection.h"
#include "platform/posix/system_error.h"
#include "platform/screen.h"

namespace platform {
namespace {

// A display that cannot be reached is tried again after this pause.
constexpr std::uint64_t kReconnectPauseMs = 3000;

// The connections of this file, at most one per sender and the keys' one:
// Xlib's error handler is process-wide, and it must tell them from the others.
class OwnConnections {
 public:
  void Add(Display* display) {
    for (std::atomic<Display*>& slot : slots_) {
      Display* empty = nullptr;
      if (slot.compare_exchange_strong(empty, display)) return;
    }
  }
  void Remove(Display* display) {
    for (std::atomic<Display*>& slot : slots_) {
      Display* own = display;
      if (slot.compare_exchange_strong(own, nullptr)) return;
    }
  }
  bool Contains(Display* display) const {
    return std::any_of(slots_.begin(), slots_.end(),
                       [display](const std::atomic<Display*>& slot) { return slot == display; });
  }

 private:
  std::array<std::atomic<Display*>, 8> slots_{};
};

// A connection to the X display named by $DISPLAY with the XTest extension.
// It is opened on a thread of its own (BackgroundConnection) and then driven
// by one thread: the dialog's, or cursor emulation's for a sender.
class XTestDisplay {
 public:
  XTestDisplay() {
    display_ = XOpenDisplay(nullptr);
    if (display_ == nullptr) return;
    // Xlib ends the whole program when a connection breaks; for these it
    // only ends the emulation. Other connections keep the handler they had.
    ownConnections_.Add(display_);
    std::call_once(ioErrorHandlerInstalled_,
                   [] { previousIoErrorHandler_ = XSetIOErrorHandler(&XTestDisplay::OnIoError); });
    XSetIOErrorExitHandler(display_, &XTestDisplay::OnConnectionLost, this);
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(display_, &eventBase, &errorBase, &major, &minor)) {
      XCloseDisplay(display_);
      ownConnections_.Remove(display_);
      display_ = nullptr;
      return;
    }
    screen_ = DefaultScreen(display_);
    width_ = DisplayWidth(display_, screen_);
    height_ = DisplayHeight(display_, screen_);
    ctrlKeys_ = {Keycode(XK_Control_L), Keycode(XK_Control_R)};
    shiftKeys_ = {Keycode(XK_Shift_L), Keycode(XK_Shift_R)};
  }
  ~XTestDisplay() {
    if (display_ == nullptr) return;
    XCloseDisplay(display_);
    ownConnections_.Remove(display_);
  }
  XTestDisplay(const XTestDisplay&) = delete;
  XTestDisplay& operator=(const XTestDisplay&) = delete;

  bool Usable() const { return display_ != nullptr && !lost_; }

  // False when the connection broke: whatever it carried may not have arrived.
  bool Send(std::uint32_t flags, std::int32_t x, std::int32_t y) {
    if (flags & kMouseMove) {
      if (flags & kMouseAbsolute) {
        const std::optional<ScreenRect> chosen = MouseArea();
        const ScreenRect area = chosen.value_or(ScreenRect{0, 0, width_, height_});
        const int px = area.x + ScaleToPixels(x, area.width);
        const int py = area.y + ScaleToPixels(y, area.height);
        // A server whose monitors are screens of their own (Xinerama over
        // several) keeps a synthetic motion on the pointer's screen: the
        // warp takes it across first.
        if (chosen) XWarpPointer(display_, None, RootWindow(display_, screen_), 0, 0, 0, 0, px, py);
        XTestFakeMotionEvent(display_, screen_, px, py, CurrentTime);
      } else {
        XTestFakeRelativeMotionEvent(display_, x, y, CurrentTime);
      }
    }
    if (flags & kMouseLeftDown) XTestFakeButtonEvent(display_, Button1, True, CurrentTime);
    if (flags & kMouseLeftUp) XTestFakeButtonEvent(display_, Button1, False, CurrentTime);
    if (flags & kMouseRightDown) XTestFakeButtonEvent(display_, Button3, True, CurrentTime);
    if (flags & kMouseRightUp) XTestFakeButtonEvent(display_, Button3, False, CurrentTime);
    XFlush(display_);
    return !lost_;
  }

  // Xinerama's screens are the monitors; without it the root window is one.
  // The primary is RandR's primary output, or the first screen where the
  // server marks none.
  std::vector<Monitor> Monitors() {
    std::vector<Monitor> monitors;
    int count = 0;
    XineramaScreenInfo* screens =
        XineramaIsActive(display_) ? XineramaQueryScreens(display_, &count) : nullptr;
    for (int i = 0; i < count; ++i) {
      const XineramaScreenInfo& s = screens[i];
      monitors.push_back({{s.x_org, s.y_org, s.width, s.height}, false});
    }
    if (screens != nullptr) XFree(screens);
    if (monitors.empty()) monitors.push_back({{0, 0, width_, height_}, false});
    const std::optional<ScreenRect> marked = RandrPrimary();
    const auto primary = std::find_if(monitors.begin(), monitors.end(),
                                      [&](const Monitor& m) { return m.area == marked; });
    (primary != monitors.end() ? *primary : monitors.front()).primary = true;
    return monitors;
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
    if (ownConnections_.Contains(display) || previousIoErrorHandler_ == nullptr) return 0;
    return previousIoErrorHandler_(display);
  }
  static void OnConnectionLost(Display*, void* self) {
    static_cast<XTestDisplay*>(self)->lost_ = true;
  }

  // The rectangle of RandR's primary output; none where the server has no
  // RandR 1.3 or marks no output (the query itself would be an error there).
  std::optional<ScreenRect> RandrPrimary() {
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XRRQueryExtension(display_, &eventBase, &errorBase) ||
        !XRRQueryVersion(display_, &major, &minor) || (major == 1 && minor < 3)) {
      return std::nullopt;
    }
    const Window root = RootWindow(display_, screen_);
    const RROutput output = XRRGetOutputPrimary(display_, root);
    if (output == None) return std::nullopt;
    XRRScreenResources* resources = XRRGetScreenResourcesCurrent(display_, root);
    if (resources == nullptr) return std::nullopt;
    std::optional<ScreenRect> rect;
    if (XRROutputInfo* info = XRRGetOutputInfo(display_, resources, output); info != nullptr) {
      XRRCrtcInfo* crtc =
          info->crtc != None ? XRRGetCrtcInfo(display_, resources, info->crtc) : nullptr;
      if (crtc != nullptr) {
        rect = ScreenRect{crtc->x, crtc->y, static_cast<int>(crtc->width),
                          static_cast<int>(crtc->height)};
        XRRFreeCrtcInfo(crtc);
      }
      XRRFreeOutputInfo(info);
    }
    XRRFreeScreenResources(resources);
    return rect;
  }

  KeyCode Keycode(KeySym symbol) const { return XKeysymToKeycode(display_, symbol); }

  bool AnyHeld(const KeyPair& keys) {
    char keymap[32] = {};
    XQueryKeymap(display_, keymap);
    return std::any_of(keys.begin(), keys.end(), [&](KeyCode key) {
      return key != 0 && (keymap[key / 8] & (1 << (key % 8))) != 0;
    });
  }

  static inline OwnConnections ownConnections_;
  static inline std::once_flag ioErrorHandlerInstalled_;
  static inline XIOErrorHandler previousIoErrorHandler_ = nullptr;

  Display* display_ = nullptr;
  bool lost_ = false;
  int screen_ = 0;
  int width_ = 0;
  int height_ = 0;
  KeyPair ctrlKeys_{};
  KeyPair shiftKeys_{};
};

std::unique_ptr<XTestDisplay> OpenXTestDisplay() {
  auto display = std::make_unique<XTestDisplay>();
  if (!display->Usable()) return nullptr;
  return display;
}

std::uint64_t MonotonicMs() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

using DisplayConnection = BackgroundConnection<XTestDisplay>;

DisplayConnection MakeDisplayConnection() {
  return DisplayConnection(OpenXTestDisplay, MonotonicMs, kReconnectPauseMs);
}

// XOpenDisplay finds its display through DISPLAY alone: without it no
// attempt can succeed, and each would cost a thread.
bool DisplayNamed() {
  const char* name = std::getenv("DISPLAY");
  return name != nullptr && *name != '\0';
}

// The display once the connection is ready; null until then, for a while
// after it broke, and always without a display to connect to.
XTestDisplay* ReadyDisplay(DisplayConnection& connection) {
  if (!DisplayNamed()) return nullptr;
  XTestDisplay* display = connection.Get();
  if (display == nullptr || display->Usable()) return display;
  connection.Drop();
  return nullptr;
}

// The connection of the functions below, used by the dialog's thread.
XTestDisplay* ReadyDisplay() {
  static DisplayConnection connection = MakeDisplayConnection();
  return ReadyDisplay(connection);
}

Result Send(XTestDisplay* display, std::uint32_t flags, std::int32_t x, std::int32_t y) {
  if (display == nullptr) return Failure(ENXIO);
  if (!display->Send(flags, x, y)) return Failure(EPIPE);
  return Result();
}

}  // namespace

const char* MouseEmulationLimit() {
  const char* session = std::getenv("XDG_SESSION_TYPE");
  if (session == nullptr || std::string_view(session) != "wayland") return nullptr;
  return "This is a Wayland session: cursor emulation moves the cursor and clicks only over X "
         "applications, not over the desktop or Wayland windows.";
}

std::vector<Monitor> ListMonitors() {
  XTestDisplay* display = ReadyDisplay();
  return display != nullptr ? display->Monitors() : std::vector<Monitor>{};
}

bool MouseEmulationAvailable() {
  return ReadyDisplay() != nullptr;
}

// Without a display (yet) there is no device to send to.
Result SendMouseEvent(std::uint32_t flags, std::int32_t x, std::int32_t y) {
  return Send(ReadyDisplay(), flags, x, y);
}

// Without a display the keys count as not held.
bool IsCtrlHeld() {
  XTestDisplay* display = ReadyDisplay();
  return display != nullptr && display->IsCtrlHeld();
}
bool IsShiftHeld() {
  XTestDisplay* display = ReadyDisplay();
  return display != nullptr && display->IsShiftHeld();
}

struct MouseEventSender::Connection {
  DisplayConnection display = MakeDisplayConnection();
};

// Connecting starts at once, so that the connection is ready when the first
// event comes.
MouseEventSender::MouseEventSender() : connection_(std::make_unique<Connection>()) {
  ReadyDisplay(connection_->display);
}
MouseEventSender::~MouseEventSender() = default;

Result MouseEventSender::Send(std::uint32_t flags, std::int32_t x, std::int32_t y) {
  return platform::Send(ReadyDisplay(connection_->display), flags, x, y);
}

}  // namespace platform
