// The XTest backend against a real X server: a private Xvfb for each test;
// and cursor emulation, fed by the report protocol, clicking in a window there.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/cursor_screen.h"
#include "platform/mouse_keys.h"
#include "platform/posix/background_connection.h"
#include "platform/process.h"
#include "platform/screen.h"
#include "pointer/cursor_control.h"
#include "tests/pointer/protocol_rig.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_folder.h"

namespace {

// An Xvfb server on a display number it picks itself from the free ones;
// stopped when the object goes.
class XvfbServer {
 public:
  // Xvfb with one screen, or another X server with the arguments given.
  explicit XvfbServer(std::vector<std::string> arguments = {"Xvfb", "-screen", "0", "640x480x24"}) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(pipeEnds[0]);
      arguments.insert(arguments.end(),
                       {"-displayfd", std::to_string(pipeEnds[1]), "-nolisten", "tcp"});
      std::vector<char*> argv;
      for (std::string& argument : arguments) argv.push_back(argument.data());
      argv.push_back(nullptr);
      execvp(argv[0], argv.data());
      _exit(127);
    }
    close(pipeEnds[1]);
    if (pid_ > 0) display_ = ReadDisplayNumber(pipeEnds[0]);
    close(pipeEnds[0]);
    if (display_.empty() && pid_ > 0) {
      kill(pid_, SIGTERM);  // in case it hangs without a display
      int status = 0;
      waitpid(pid_, &status, 0);
      missing_ = WIFEXITED(status) && WEXITSTATUS(status) == 127;
      pid_ = -1;
    }
  }
  ~XvfbServer() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;

  bool Missing() const { return missing_; }
  // ":N", or empty when the server did not come up.
  std::string DisplayName() const { return display_.empty() ? "" : ":" + display_; }

 private:
  // Xvfb writes the number followed by a newline once it accepts clients.
  static std::string ReadDisplayNumber(int fd) {
    std::string number;
    pollfd wait{fd, POLLIN, 0};
    while (poll(&wait, 1, 10000) > 0) {
      char c = 0;
      if (read(fd, &c, 1) != 1) return "";
      if (c == '\n') return number;
      number += c;
    }
    return "";
  }

  pid_t pid_ = -1;
  bool missing_ = false;  // not installed
  std::string display_;
};

// Polls until the condition holds: the backend only flushes its requests, and
// this test reads the server's state through a connection of its own.
bool Eventually(const std::function<bool()>& condition) {
  for (int attempt = 0; attempt < 200; ++attempt) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return condition();
}

struct PointerState {
  int x = -1;
  int y = -1;
  unsigned buttons = 0;
};

PointerState QueryPointer(Display* display) {
  Window root = 0, child = 0;
  int rootX = 0, rootY = 0, windowX = 0, windowY = 0;
  unsigned mask = 0;
  XQueryPointer(display, DefaultRootWindow(display), &root, &child, &rootX, &rootY, &windowX,
                &windowY, &mask);
  return {rootX, rootY, mask};
}

void PressKey(Display* display, KeySym key, bool down) {
  XTestFakeKeyEvent(display, XKeysymToKeycode(display, key), down ? True : False, CurrentTime);
  XSync(display, False);
}

TEST(MouseKeysXvfbTest, MovesClicksAndReadsModifiersOnARealDisplay) {
  auto server = std::make_unique<XvfbServer>();
  if (server->Missing()) GTEST_SKIP() << "Xvfb is not installed";
  const std::string displayName = server->DisplayName();
  ASSERT_FALSE(displayName.empty()) << "Xvfb did not start";
  // The backend opens the display named here at its first use.
  setenv("DISPLAY", displayName.c_str(), 1);
  ASSERT_TRUE(Eventually(platform::MouseEmulationAvailable));  // it connects in the background

  Display* observer = XOpenDisplay(displayName.c_str());
  ASSERT_NE(observer, nullptr);
  const auto pointerIs = [&](int x, int y, unsigned buttons) {
    return Eventually([&] {
      const PointerState state = QueryPointer(observer);
      return state.x == x && state.y == y &&
             (state.buttons & (Button1Mask | Button3Mask)) == buttons;
    });
  };

  EXPECT_TRUE(
      platform::SendMouseEvent(platform::kMouseAbsolute | platform::kMouseMove, 65535, 65535));
  EXPECT_TRUE(pointerIs(639, 479, 0));
  EXPECT_TRUE(platform::SendMouseEvent(platform::kMouseAbsolute | platform::kMouseMove, 0, 0));
  EXPECT_TRUE(pointerIs(0, 0, 0));

  EXPECT_TRUE(platform::SendMouseEvent(0x800B, 32768, 32768));  // move, left down, right down
  EXPECT_TRUE(pointerIs(319, 239, Button1Mask | Button3Mask));
  EXPECT_TRUE(platform::SendMouseEvent(0x8015, 32768, 32768));  // move, left up, right up
  EXPECT_TRUE(pointerIs(319, 239, 0));

  EXPECT_FALSE(platform::IsCtrlHeld());
  EXPECT_FALSE(platform::IsShiftHeld());
  PressKey(observer, XK_Control_R, true);
  PressKey(observer, XK_Shift_L, true);
  EXPECT_TRUE(platform::IsCtrlHeld());
  EXPECT_TRUE(platform::IsShiftHeld());
  PressKey(observer, XK_Control_R, false);
  PressKey(observer, XK_Shift_L, false);
  EXPECT_FALSE(platform::IsCtrlHeld());
  XCloseDisplay(observer);

  // The display going away ends the emulation, not the program.
  server.reset();
  static_cast<void>(platform::SendMouseEvent(0x8001, 0, 0));  // fails: no display
  platform::IsCtrlHeld();
  EXPECT_FALSE(platform::MouseEmulationAvailable());
  EXPECT_FALSE(platform::SendMouseEvent(0x8001, 0, 0));
}

// A window over the whole screen that counts the clicks it gets.
class ClickCountingWindow {
 public:
  explicit ClickCountingWindow(Display* display) : display_(display) {
    window_ = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 640, 480, 0, 0, 0);
    XSelectInput(display, window_, ButtonPressMask | ButtonReleaseMask | StructureNotifyMask);
    XMapWindow(display, window_);
    XSync(display, False);
  }
  ~ClickCountingWindow() { XDestroyWindow(display_, window_); }

  bool Mapped() {
    XWindowAttributes attributes{};
    XGetWindowAttributes(display_, window_, &attributes);
    return attributes.map_state == IsViewable;
  }
  void Count() {
    while (XPending(display_) > 0) {
      XEvent event;
      XNextEvent(display_, &event);
      if (event.type == ButtonPress && event.xbutton.button == Button1) ++presses;
      if (event.type == ButtonRelease && event.xbutton.button == Button1) ++releases;
    }
  }

  int presses = 0;
  int releases = 0;

 private:
  Display* display_;
  Window window_;
};

// The protocol and the cursor with the system's mouse, emulation on.
struct EmulationRig : ProtocolRig {
  EmulationRig() {
    protocol.AttachCursor(cursor.get());
    // A display that a rig before this one left takes a moment to be available again.
    WaitFor([this] { return cursor->SwitchOn() == CursorControl::Refusal::kNone; }, 5000);
    EXPECT_TRUE(cursor->IsOn());
  }
  ~EmulationRig() { protocol.AttachCursor(nullptr); }

  // A fresh report of pointer 3 in the middle of the screen.
  void Report(int buttonL) { ProtocolRig::Report(3, 0x8000, buttonL, 0, ++frame, 0x8000); }

  SystemMouseAndKeys mouse;
  std::unique_ptr<CursorControl> cursor =
      std::make_unique<CursorControl>(mouse, selectedPointer, [this] { return now.load(); });
  int frame = 0;
};

// Ends every connection to the display but the observer's, as a server
// that drops a client would (client n owns the resource ids from n << 21).
void BreakOtherConnections(Display* observer) {
  const XID own = XAllocID(observer) >> 21;
  XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });  // no such client
  for (XID client = 1; client < 64; ++client) {
    if (client != own) XKillClient(observer, client << 21);
  }
  XSync(observer, False);
  XSetErrorHandler(nullptr);
}

// A tap shorter than the dialog's 200 ms tick: a press and a release in two
// reports in a row. Then pointer 3 holds L and loses the cursor: the window
// sees the release every time; after a broken connection L is pressed again.
TEST(CursorEmulationXvfbTest, ATapAndEveryLossOfTheCursorReleaseTheButton) {
  XvfbServer server;
  if (server.Missing()) GTEST_SKIP() << "Xvfb is not installed";
  ASSERT_FALSE(server.DisplayName().empty()) << "Xvfb did not start";
  setenv("DISPLAY", server.DisplayName().c_str(), 1);
  const std::unique_ptr<Display, int (*)(Display*)> connection(
      XOpenDisplay(server.DisplayName().c_str()), XCloseDisplay);
  Display* observer = connection.get();  // the test's own, to watch the display
  ASSERT_NE(observer, nullptr);
  ClickCountingWindow window(observer);
  ASSERT_TRUE(Eventually([&] { return window.Mapped(); }));
  WaitFor(platform::MouseEmulationAvailable, 5000);  // after its pause, if a display went away
  const auto counted = [&](int presses, int releases) {
    return Eventually([&] {
      window.Count();
      return window.presses == presses && window.releases == releases;
    });
  };
  // Pointer 3 reports L until the window sees the press.
  const auto pressL = [&](EmulationRig& rig, int presses) {
    return Eventually([&] {
      rig.Report(1);
      window.Count();
      return window.presses == presses;
    });
  };

  const std::pair<const char*, std::function<void(EmulationRig&)>> ways[] = {
      {"stops reporting",
       [](EmulationRig& rig) {
         rig.protocol.MarkSilentPointers(rig.now += 1200);
         rig.cursor->Tick();  // as the dialog's next tick does
       }},
      {"switched off",  // as the check box, the console, a new selection and Ctrl+Shift do
       [](EmulationRig& rig) { rig.cursor->SwitchOff(); }},
      {"program ends",
       [](EmulationRig& rig) {
         rig.protocol.AttachCursor(nullptr);
         rig.cursor.reset();
       }},
  };
  {
    EmulationRig rig;
    ASSERT_TRUE(Eventually([&] {  // the emulation's own connection is ready
      rig.Report(0);
      const PointerState state = QueryPointer(observer);
      return state.x == 319 && state.y == 239;
    }));
    rig.Report(1);
    rig.Report(0);
    EXPECT_TRUE(counted(1, 1)) << "the tap: " << window.presses << "/" << window.releases;
  }
  int expected = 1;
  for (const auto& [name, lose] : ways) {
    EmulationRig rig;
    ASSERT_TRUE(pressL(rig, ++expected)) << name;
    lose(rig);
    EXPECT_TRUE(counted(expected, expected)) << name << ": " << window.releases << " releases";
  }

  // The emulation's connection breaks while the phone holds L: the next
  // connection lets go and presses again.
  {
    EmulationRig rig;
    ASSERT_TRUE(pressL(rig, expected + 1));
    BreakOtherConnections(observer);
    EXPECT_TRUE(WaitFor(  // it reconnects within 3 s
        [&] {
          rig.Report(1);
          window.Count();
          return window.presses == expected + 2;
        },
        10000));
    EXPECT_EQ(window.releases, expected + 1) << "the broken connection's press was not released";
    rig.Report(0);
    EXPECT_TRUE(counted(expected + 2, expected + 2));
  }
}

// Xvfb alone puts every screen at the origin; Xephyr inside it places two
// monitors side by side, as a desktop of two does.
TEST(MouseKeysXvfbTest, ThePadCoversTheChosenMonitorOrTheWholeDesktop) {
  XvfbServer host({"Xvfb", "-screen", "0", "3400x1200x24"});
  if (host.Missing()) GTEST_SKIP() << "Xvfb is not installed";
  ASSERT_FALSE(host.DisplayName().empty()) << "Xvfb did not start";
  setenv("DISPLAY", host.DisplayName().c_str(), 1);
  XvfbServer desktop({"Xephyr", "+xinerama", "-screen", "1280x800", "-screen", "1920x1080"});
  if (desktop.Missing()) GTEST_SKIP() << "Xephyr is not installed";
  ASSERT_FALSE(desktop.DisplayName().empty()) << "Xephyr did not start";
  setenv("DISPLAY", desktop.DisplayName().c_str(), 1);
  Display* observer = XOpenDisplay(desktop.DisplayName().c_str());
  ASSERT_NE(observer, nullptr);

  std::vector<platform::Monitor> monitors;  // once the keys' connection is up, after its pause
  WaitFor([&] { return (monitors = platform::ListMonitors()).size() == 2; }, 5000);
  ASSERT_EQ(monitors.size(), 2u);
  EXPECT_EQ(monitors[0].area, (platform::ScreenRect{0, 0, 1280, 800}));
  EXPECT_TRUE(monitors[0].primary);
  EXPECT_EQ(monitors[1].area, (platform::ScreenRect{1280, 0, 1920, 1080}));

  const auto landsOn = [&](std::int32_t x, std::int32_t y, int px, int py) {
    EXPECT_TRUE(platform::SendMouseEvent(platform::kMouseAbsolute | platform::kMouseMove, x, y));
    return Eventually([&] {
      const PointerState state = QueryPointer(observer);
      return state.x == px && state.y == py;
    });
  };
  // Xephyr keeps the pointer on its second screen within the first one's
  // size (1280 x 800 from that screen's corner): the points below stay there.
  platform::SetMouseArea(monitors[1].area);
  EXPECT_TRUE(landsOn(0, 0, 1280, 0));
  EXPECT_TRUE(landsOn(32768, 32768, 1280 + 959, 539));
  platform::SetMouseArea(platform::ScreenRect{0, 0, 3200, 1080});  // all
  EXPECT_TRUE(landsOn(52000, 0, 2538, 0));
  EXPECT_TRUE(landsOn(0, 0, 0, 0));
  // "primary": the server marks none, so the first Xinerama screen, and the
  // pad's centre is that monitor's centre, not the whole desktop's.
  platform::SetMouseArea(ChooseCursorArea(CursorScreen{}, MonitorsAsSeen(monitors)).rect);
  EXPECT_TRUE(landsOn(32768, 32768, 639, 399));
  platform::SetMouseArea(std::nullopt);
  XCloseDisplay(observer);
}

TEST(MouseKeysXvfbTest, AWaylandSessionIsNamedAsTheLimit) {
  const char* session = std::getenv("XDG_SESSION_TYPE");
  const std::string kept = session != nullptr ? session : "";
  setenv("XDG_SESSION_TYPE", "wayland", 1);
  EXPECT_NE(platform::MouseEmulationLimit(), nullptr);
  setenv("XDG_SESSION_TYPE", "x11", 1);
  EXPECT_EQ(platform::MouseEmulationLimit(), nullptr);
  session != nullptr ? setenv("XDG_SESSION_TYPE", kept.c_str(), 1) : unsetenv("XDG_SESSION_TYPE");
}

TEST(MouseKeysXvfbTest, WithoutADisplayEmulationIsUnavailable) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        unsetenv("DISPLAY");
        const bool usable = platform::MouseEmulationAvailable() ||
                            platform::SendMouseEvent(0x8001, 0, 0) || platform::IsCtrlHeld();
        std::exit(usable ? 1 : 0);
      },
      testing::ExitedWithCode(0), "");
}

// A display that accepts the connection and never answers: asking for the
// keys must not wait for it, and they count as not held.
TEST(MouseKeysXvfbTest, AnUnansweringDisplayNeverBlocksTheCaller) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        const int listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(listener, 4) != 0 ||
            getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
            ntohs(address.sin_port) <= 6000) {
          std::exit(2);
        }
        // X display n listens on TCP port 6000 + n.
        const std::string display = "127.0.0.1:" + std::to_string(ntohs(address.sin_port) - 6000);
        setenv("DISPLAY", display.c_str(), 1);
        bool anyAnswer = false;
        for (int tick = 0; tick < 3; ++tick) {
          anyAnswer = anyAnswer || platform::IsCtrlHeld() || platform::IsShiftHeld() ||
                      platform::MouseEmulationAvailable();
        }
        // The attempt still waits inside Xlib, where the program's end finds
        // it too: std::exit would tear Xlib down under it (a crash at exit).
        if (platform::backgroundAttemptsRunning == 0) std::_Exit(3);
        platform::EndProcess(anyAnswer ? 1 : 0);
      },
      testing::ExitedWithCode(0), "");
}

}  // namespace
