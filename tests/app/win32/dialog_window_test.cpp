// The Win32 dialog driven from outside, as an operator's clicks would drive
// it: TVXHandvane.exe runs in a folder of its own, and the test finds its
// window by caption and works it through window messages. Needs a display
// (a virtual X server under wine).
#include <winsock2.h>
// after winsock2.h, which it would otherwise clash with
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "app/cursor_screen.h"
#include "app/dialog_controls.h"
#include "app/pointer_overlay_model.h"
#include "app/win32/win32_dialog_view.h"
#include "app/window_placement.h"
#include "common/phone_address.h"
#include "common/program_paths.h"
#include "platform/files.h"
#include "platform/network_addresses.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "platform/socket_client.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_folder.h"

namespace {

constexpr char kDialogCaption[] = "Tolvex Handvane Server";
constexpr char kProgramTitle[] = "TVXHandvane";  // the caption of the operator message boxes
constexpr int kSelectedPointer = 3;

// WM_GETTEXT itself: GetWindowText reads only captions of other processes' windows.
std::string WindowText(HWND window) {
  char text[512] = "";
  SendMessageA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
  return text;
}

// Every text a window and its children show, one per line.
std::string AllTexts(HWND window) {
  std::string texts = WindowText(window);
  EnumChildWindows(
      window,
      [](HWND child, LPARAM collected) {
        *reinterpret_cast<std::string*>(collected) += "\n" + WindowText(child);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&texts));
  return texts;
}

int SystemDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  return dpi;
}

COLORREF ScreenPixel(POINT at) {
  HDC screen = GetDC(nullptr);
  const COLORREF colour = GetPixel(screen, at.x, at.y);
  ReleaseDC(nullptr, screen);
  return colour;
}

COLORREF ScreenPixelAtCentre(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return ScreenPixel({(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2});
}

// The dialog from the program's own template, with a procedure that leaves
// every message to the dialog manager unless told otherwise.
HWND CreateTemplateDialog(DLGPROC procedure = [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR {
  return FALSE;
}) {
  return CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(102), nullptr, procedure,
                            0);
}

// The program's open popup menus, in the order they opened.
std::vector<HWND> OpenMenus() {
  std::vector<HWND> menus;
  EnumWindows(
      [](HWND window, LPARAM found) {
        char name[16] = "";
        GetClassNameA(window, name, sizeof name);
        if (std::string(name) == "#32768" && IsWindowVisible(window)) {
          reinterpret_cast<std::vector<HWND>*>(found)->insert(
              reinterpret_cast<std::vector<HWND>*>(found)->begin(), window);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&menus));
  return menus;
}

// Whether a server could listen on port now, on every address.
bool PortIsFree(std::uint16_t port) {
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
  const SOCKET probe = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  const bool bound = probe != INVALID_SOCKET &&
                     bind(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  if (probe != INVALID_SOCKET) closesocket(probe);
  WSACleanup();
  return bound;
}

// Wine leaves a window's frame to the X window manager, and the tests' X
// server has none: wine draws the program's title bars itself instead, with
// the buttons' symbols from Marlett, which Debian ships beside wine where
// wine does not look for it.
void DrawTitleBarsInWine() {
  char fonts[MAX_PATH] = "";
  GetWindowsDirectoryA(fonts, MAX_PATH);
  CopyFileA("Z:\\usr\\share\\wine\\fonts\\marlett.ttf",
            (std::string(fonts) + "\\Fonts\\marlett.ttf").c_str(), TRUE);
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\TVXHandvane.exe\\X11 Driver",
                      0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return;
  }
  RegSetValueExA(key, "Decorated", 0, REG_SZ, reinterpret_cast<const BYTE*>("N"), 2);
  RegCloseKey(key);
}

// The screen's area as a 24-bit bottom-up BMP file.
void SaveScreenArea(const RECT& rect, const std::string& file) {
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  const int stride = (width * 3 + 3) & ~3;
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  SelectObject(memory, old);
  const DWORD imageSize = static_cast<DWORD>(stride * height);
  BITMAPFILEHEADER header{0x4D42, static_cast<DWORD>(54 + imageSize), 0, 0, 54};
  std::ofstream out(file, std::ios::binary);
  out.write(reinterpret_cast<const char*>(&header), sizeof header);
  out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
  out.write(static_cast<const char*>(bits), imageSize);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
}

// Has the window and then each of its controls painted whole before it
// returns, in the program that owns them (which a redraw of another
// program's window would only ask for).
void PaintNow(HWND window) {
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
  SendMessageA(window, WM_PAINT, 0, 0);
  EnumChildWindows(
      window,
      [](HWND control, LPARAM) {
        SendMessageA(control, WM_PAINT, 0, 0);
        return TRUE;
      },
      0);
}

// The window as it is on screen.
void SaveCapture(HWND window, const std::string& file) {
  PaintNow(window);
  RECT rect{};
  GetWindowRect(window, &rect);
  SaveScreenArea(rect, file);
}

class DialogWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    DrawTitleBarsInWine();
    PlaceProgramIn(folder.Path());
  }

  // The program, its page and its INI in programFolder.
  void PlaceProgramIn(const std::string& programFolder) {
    CreateDirectoryA(programFolder.c_str(), nullptr);
    program = JoinPath(programFolder, "TVXHandvane.exe");
    // The system's own copy: the folder's name is UTF-8, which this
    // process's code page is and the C++ library's file system may not take.
    CopyFileA(JoinPath(BinFolder(), "TVXHandvane.exe").c_str(), program.c_str(), FALSE);
    CopyFileA(JoinPath(BinFolder(), "TVXHandvane.TXT").c_str(),
              JoinPath(programFolder, "TVXHandvane.TXT").c_str(), FALSE);
    std::uint16_t freePort = 0;
    EXPECT_TRUE(platform::FindFreePort(freePort));
    port = freePort;
    ini = BuildProgramPaths(program).iniFile;
    WriteIni();
  }

  void WriteIni() {
    EXPECT_TRUE(platform::ProfileWriteString(ini, "General", "Log", "FALSE"));
    EXPECT_TRUE(
        platform::ProfileWriteString(ini, "Paths", "PathToIniFolder", folder.Path().c_str()));
    EXPECT_TRUE(platform::ProfileWriteString(ini, "Control", "Port", std::to_string(port).c_str()));
    EXPECT_TRUE(platform::ProfileWriteString(ini, "Control", "SelectedPointer",
                                             std::to_string(kSelectedPointer).c_str()));
  }

  // For the captures the README shows, which speak of port 8080.
  void UseTheShippedPortWhereFree() {
    if (!PortIsFree(8080)) return;
    port = 8080;
    WriteIni();
  }

  void TearDown() override {
    if (dialog != nullptr && IsWindow(dialog)) PostMessageA(dialog, WM_CLOSE, 0, 0);
    int exitCode = 0;
    child.WaitForExit(20000, exitCode);
  }

  // Starts the program and waits for its window.
  bool OpenWindow() {
    if (!child.Start(program, {}, folder.File("output.txt"))) return false;
    if (WaitFor([&] { return (dialog = FindWindowA(nullptr, kDialogCaption)) != nullptr; },
                30000)) {
      return true;
    }
    ADD_FAILURE() << "no window; the program wrote: "
                  << TempFolder::ReadAll(folder.File("output.txt"));
    return false;
  }

  // Starts the program and waits until its initialisation has started the server.
  bool StartProgram() {
    if (!OpenWindow()) return false;
    if (WaitFor([&] { return Text(control::kStatus) == "Working..."; }, 30000)) return true;
    HWND box = FindWindowA("#32770", kProgramTitle);
    ADD_FAILURE() << "status \"" << Text(control::kStatus) << "\", message box: \""
                  << (box != nullptr ? AllTexts(box) : "none") << "\", error log: "
                  << TempFolder::ReadAll(JoinPath(platform::SystemLogFolder(), "DIDidezu.log"));
    return false;
  }

  bool WaitForProgramEnd() {
    int exitCode = -1;
    if (!child.WaitForExit(20000, exitCode)) return false;
    dialog = nullptr;
    return exitCode == 0;
  }

  // Alt+Space opens the system menu; up from its first entry wraps to the
  // last, "Cursor screen", and Right opens that.
  bool OpenCursorScreenMenu() {
    PostMessageA(dialog, WM_SYSCOMMAND, SC_KEYMENU, ' ');
    if (!WaitFor([] { return OpenMenus().size() == 1; }, 10000)) return false;
    PostMessageA(OpenMenus()[0], WM_KEYDOWN, VK_UP, 0);
    PostMessageA(OpenMenus()[0], WM_KEYDOWN, VK_RIGHT, 0);
    return WaitFor([] { return OpenMenus().size() == 2; }, 10000);
  }

  // The pointers' overlay window, once the program has opened it.
  HWND WaitForOverlay() {
    HWND overlay = nullptr;
    WaitFor([&] { return (overlay = FindWindowA("TVXHandvanePointers", nullptr)) != nullptr; },
            10000);
    return overlay;
  }

  HWND Item(int control) { return GetDlgItem(dialog, control); }
  std::string Text(int control) { return WindowText(Item(control)); }

  // Returns once the dialog has handled the click.
  void Click(int control) { SendMessageA(Item(control), BM_CLICK, 0, 0); }
  // For a click that opens a message box, which would hold a sent message.
  void ClickAndLeave(int control) { PostMessageA(Item(control), BM_CLICK, 0, 0); }

  // Waits for the operator message box, closes it with OK, returns its texts.
  std::string TakeMessageBox(const char* caption = kProgramTitle) {
    HWND box = nullptr;
    if (!WaitFor([&] { return (box = FindWindowA("#32770", caption)) != nullptr; }, 10000)) {
      return "<no message box>";
    }
    const std::string texts = AllTexts(box);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    WaitFor([&] { return !IsWindow(box); }, 10000);
    return texts;
  }

  std::string Report(int frame, int x, int y, bool buttonL, bool buttonR, int echoedPacket = 0) {
    return FetchBody(static_cast<std::uint16_t>(port),
                     ReportPath(kSelectedPointer, frame, x, y, buttonL, buttonR, echoedPacket));
  }

  TempFolder folder;
  std::string program;
  std::string ini;
  int port = 0;
  platform::ChildProcess child;
  HWND dialog = nullptr;
};

TEST_F(DialogWindowTest, StartsRunningAndShowsTheSelectedPointersReports) {
  UseTheShippedPortWhereFree();
  ASSERT_TRUE(StartProgram());
  HWND list = Item(control::kPointerList);
  EXPECT_EQ(SendMessageA(list, CB_GETCOUNT, 0, 0), 80);
  EXPECT_EQ(SendMessageA(list, CB_GETCURSEL, 0, 0), kSelectedPointer);

  EXPECT_EQ(Report(1, 4096, 8192, true, false), "0000");
  EXPECT_TRUE(WaitFor([&] { return Text(control::kX) == "4096"; }, 10000)) << Text(control::kX);
  EXPECT_EQ(Text(control::kY), "8192");
  EXPECT_TRUE(WaitFor(
      [&] { return ScreenPixelAtCentre(Item(control::kButtonLIndicator)) == RGB(0, 255, 0); },
      5000));
  EXPECT_EQ(ScreenPixelAtCentre(Item(control::kButtonRIndicator)), RGB(210, 210, 210));
  SaveCapture(dialog, TVX_DIALOG_CAPTURE);
}

TEST_F(DialogWindowTest, ServerControlButtons) {
  ASSERT_TRUE(StartProgram());
  EXPECT_EQ(Report(1, 0, 0, false, false), "0000");
  EXPECT_TRUE(WaitFor([&] { return Text(control::kRequests) == "1"; }, 10000));
  ClickAndLeave(control::kStart);
  EXPECT_NE(TakeMessageBox().find("Server Already Launched"), std::string::npos);
  EXPECT_EQ(Text(control::kStatus), "Working...");

  ClickAndLeave(control::kStop);
  EXPECT_TRUE(WaitFor([&] { return Text(control::kStatus) == "Stopped."; }, 10000));
  EXPECT_EQ(Report(2, 0, 0, false, false), "<no connection>");
  ClickAndLeave(control::kStop);
  EXPECT_NE(TakeMessageBox().find("Server not Launched"), std::string::npos);

  // Reset while stopped: the message, then a start with zeroed statistics.
  ClickAndLeave(control::kReset);
  EXPECT_NE(TakeMessageBox().find("Server not Launched"), std::string::npos);
  EXPECT_TRUE(WaitFor([&] { return Text(control::kStatus) == "Working..."; }, 10000));
  EXPECT_EQ(Report(3, 0, 0, false, false), "0000");
  EXPECT_TRUE(WaitFor([&] { return Text(control::kRequests) == "1"; }, 10000))
      << Text(control::kRequests);
}

TEST_F(DialogWindowTest, PointerChoiceCursorScreenAndVibrateButtons) {
  ASSERT_TRUE(StartProgram());
  EXPECT_EQ(Report(1, 0, 0, false, false), "0000");
  // Each report echoes the packet before it, so each button's command goes
  // out in a packet of its own.
  for (int packet = 1; packet <= 6; ++packet) {
    Click(control::kVibrateShortSingle + packet - 1);
    char expected[8];
    std::snprintf(expected, sizeof expected, "%02XA%d", packet, packet - 1);
    EXPECT_EQ(Report(1 + packet, 0, 0, false, false, packet - 1), expected);
  }

  HWND list = Item(control::kPointerList);
  SendMessageA(list, CB_SETCURSEL, 7, 0);
  SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(control::kPointerList, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(list));
  EXPECT_EQ(platform::ProfileReadString(ini, "Control", "SelectedPointer", "", 460), "7");
  EXPECT_TRUE(Text(control::kPhoneAddress).ends_with("\nPointer 07 selected."));

  // The system menu's "Cursor screen" entries, as Windows sends them and as
  // wine sends a submenu's (WM_COMMAND).
  const std::pair<CursorScreen, const char*> choices[] = {{{CursorScreen::Kind::kAll, 0}, "all"},
                                                          {{CursorScreen::Kind::kMonitor, 1}, "1"},
                                                          {{}, "primary"}};
  for (const UINT message : {WM_SYSCOMMAND, WM_COMMAND}) {
    for (const auto& [screen, stored] : choices) {
      SendMessageA(dialog, message, Win32DialogView::CursorScreenCommand(screen), 0);
      EXPECT_EQ(platform::ProfileReadString(ini, "Control", "CursorScreen", "", 460), stored)
          << message;
    }
  }
}

// The operator's way in: the keys walk the system menu to "Cursor screen"
// and its first monitor.
TEST_F(DialogWindowTest, TheSystemMenusCursorScreenEntryChoosesAMonitorThroughTheMenu) {
  UseTheShippedPortWhereFree();
  ASSERT_TRUE(StartProgram());
  ASSERT_TRUE(OpenCursorScreenMenu());
  RECT area{};
  PaintNow(dialog);
  GetWindowRect(dialog, &area);
  for (HWND menu : OpenMenus()) {
    RECT rect{};
    PaintNow(menu);
    GetWindowRect(menu, &rect);
    UnionRect(&area, &area, &rect);
  }
  SaveScreenArea(area, TVX_SYSTEM_MENU_CAPTURE);

  PostMessageA(OpenMenus()[1], WM_KEYDOWN, VK_DOWN, 0);
  PostMessageA(OpenMenus()[1], WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_TRUE(WaitFor(
      [&] { return platform::ProfileReadString(ini, "Control", "CursorScreen", "", 460) == "1"; },
      10000));
  EXPECT_TRUE(WaitFor([] { return OpenMenus().empty(); }, 10000));
}

std::vector<RECT> MonitorRects() {
  std::vector<RECT> rects;
  EnumDisplayMonitors(
      nullptr, nullptr,
      [](HMONITOR, HDC, LPRECT rect, LPARAM found) {
        reinterpret_cast<std::vector<RECT>*>(found)->push_back(*rect);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&rects));
  return rects;
}

// The projector as a second monitor: its entry, reached through the menu,
// stores it and puts the pointers' overlay on it. Runs where the display has
// two monitors (TVX_TWO_MONITORS says it must).
TEST_F(DialogWindowTest, TwoMonitorsTheMenusSecondMonitorTakesTheCursorAndTheOverlay) {
  const std::vector<RECT> monitors = MonitorRects();
  if (monitors.size() < 2) {
    if (std::getenv("TVX_TWO_MONITORS") != nullptr) FAIL() << "the display has one monitor";
    GTEST_SKIP() << "the display has one monitor";
  }
  EXPECT_TRUE(platform::ProfileWriteString(ini, "Control", "ShowPointers", "1"));
  ASSERT_TRUE(StartProgram());
  HWND overlay = WaitForOverlay();
  ASSERT_NE(overlay, nullptr);
  const auto overlayOn = [&](const RECT& monitor) {
    RECT placed{};
    return GetWindowRect(overlay, &placed) && EqualRect(&placed, &monitor);
  };
  EXPECT_TRUE(WaitFor([&] { return overlayOn(monitors[0]); }, 10000));

  ASSERT_TRUE(OpenCursorScreenMenu());
  // Primary, Monitor 1, Monitor 2.
  PostMessageA(OpenMenus()[1], WM_KEYDOWN, VK_DOWN, 0);
  PostMessageA(OpenMenus()[1], WM_KEYDOWN, VK_DOWN, 0);
  PostMessageA(OpenMenus()[1], WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_TRUE(WaitFor(
      [&] { return platform::ProfileReadString(ini, "Control", "CursorScreen", "", 460) == "2"; },
      10000))
      << platform::ProfileReadString(ini, "Control", "CursorScreen", "", 460);
  EXPECT_TRUE(WaitFor([&] { return overlayOn(monitors[1]); }, 10000));
  EXPECT_TRUE(WaitFor([] { return OpenMenus().empty(); }, 10000));
}

TEST_F(DialogWindowTest, ExitAndEscapeEndTheProgramAndKeepThePlacement) {
  ASSERT_TRUE(StartProgram());
  RECT fresh{};
  GetWindowRect(dialog, &fresh);
  SetWindowPos(dialog, nullptr, 40, 50, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  ClickAndLeave(IDOK);
  ASSERT_TRUE(WaitForProgramEnd());

  ASSERT_TRUE(StartProgram());
  RECT placed{};
  GetWindowRect(dialog, &placed);
  EXPECT_EQ(placed.left, 40);
  EXPECT_EQ(placed.top, 50);
  // Escape, as the dialog's keyboard handling gets it from the focused control.
  SetForegroundWindow(dialog);
  PostMessageA(Item(control::kHomeDirectory), WM_KEYDOWN, VK_ESCAPE, 0);
  ASSERT_TRUE(WaitForProgramEnd());

  // Saved at another DPI on a monitor that is gone: today's size, whole on a monitor.
  const WindowPlacementBytes bytes = PackWindowPlacement({9000, 9000, 9000 + 2000, 9000 + 3000});
  EXPECT_TRUE(
      platform::ProfileWriteStruct(ini, "General", "WindowPos", bytes.data(), bytes.size()));
  ASSERT_TRUE(StartProgram());
  RECT work{}, inside{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  GetWindowRect(dialog, &placed);
  EXPECT_EQ(placed.right - placed.left, fresh.right - fresh.left);
  EXPECT_EQ(placed.bottom - placed.top, fresh.bottom - fresh.top);
  IntersectRect(&inside, &placed, &work);
  EXPECT_TRUE(EqualRect(&inside, &placed));
}

// Logging off: the system asks every top-level window, as wineboot
// --end-session does. Both front ends then save, stop the server, and take
// the rendezvous file away with the area; the console listens through a
// hidden window of its own.
TEST_F(DialogWindowTest, EndOfSessionShutsDownBothFrontEnds) {
  const std::string rendezvousFile = folder.File("TVXHDVMemory.INI");
  for (const bool console : {false, true}) {
    HWND listener = nullptr;
    WriteIni();
    if (console) {
      ASSERT_TRUE(child.Start(program, {"--console"}, folder.File("console.txt"), true));
      ASSERT_TRUE(WaitFor(
          [&] { return (listener = FindWindowA("TVXHandvaneSessionEnd", nullptr)) != nullptr; },
          30000));
      ASSERT_TRUE(WaitFor([&] { return platform::PathExists(rendezvousFile); }, 30000));
    } else {
      ASSERT_TRUE(StartProgram());
      listener = dialog;
    }
    EXPECT_TRUE(platform::ProfileWriteString(ini, "General", "WindowPos", nullptr));
    DWORD_PTR answer = 0;
    SendMessageTimeoutA(listener, WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, 10000, &answer);
    EXPECT_EQ(answer, TRUE);
    SendMessageTimeoutA(listener, WM_ENDSESSION, TRUE, 0, SMTO_NORMAL, 10000, &answer);
    EXPECT_FALSE(platform::PathExists(rendezvousFile)) << console;
    EXPECT_EQ(Report(1, 0, 0, false, false), "<no connection>") << console;
    EXPECT_EQ(platform::ProfileReadString(ini, "General", "WindowPos", "", 460).size(),
              console ? 0u : 90u);
    if (!console) PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    child.CloseInput();
    int exitCode = -1;
    ASSERT_TRUE(child.WaitForExit(20000, exitCode));
    dialog = nullptr;
  }
}

// A second windowed copy cannot have the shared memory: its box says why,
// and it ends with a failure's exit code, for the script that started it.
TEST_F(DialogWindowTest, ASecondCopyIsRefusedAndExitsWithAFailure) {
  ASSERT_TRUE(StartProgram());
  platform::ChildProcess secondCopy;
  ASSERT_TRUE(secondCopy.Start(program, {}, folder.File("second.txt")));
  EXPECT_NE(TakeMessageBox("TVXHandvane severe error").find("already runs"), std::string::npos);
  int exitCode = 0;
  ASSERT_TRUE(secondCopy.WaitForExit(20000, exitCode));
  EXPECT_NE(exitCode, 0);
  EXPECT_EQ(Text(control::kStatus), "Working...");
}

// The address line names the PC's first address as the system lists it,
// with the running port, and follows Stop, a new port and Start. A click on
// it opens the code's window; its capture is left with the address for
// zbarimg, which the script around this test runs.
TEST_F(DialogWindowTest, AddressLineFollowsThePortAndItsClickShowsTheCode) {
  // Left by an earlier run, if at all.
  static_cast<void>(platform::RemoveFile(TVX_QR_CAPTURE));
  static_cast<void>(platform::RemoveFile(TVX_QR_CAPTURE ".txt"));
  ASSERT_TRUE(StartProgram());
  const std::vector<platform::NetworkAddress> addresses =
      LikeliestFirst(platform::LocalNetworkAddresses());
  if (addresses.empty()) {
    EXPECT_EQ(Text(control::kPhoneAddress).rfind("No network", 0), 0u);
    GTEST_SKIP() << "this PC has no network address: no code to show";
  }
  EXPECT_EQ(Text(control::kPhoneAddress)
                .rfind("Phones open " + PhoneAddress(addresses[0].ipv4, port, ""), 0),
            0u)
      << Text(control::kPhoneAddress);

  Click(control::kStop);
  std::uint16_t otherPort = 0;
  EXPECT_TRUE(platform::FindFreePort(otherPort));
  SetDlgItemTextA(dialog, control::kPort, std::to_string(otherPort).c_str());
  Click(control::kStart);
  const std::string address = PhoneAddress(addresses[0].ipv4, otherPort, "");
  EXPECT_EQ(Text(control::kPhoneAddress).rfind("Phones open " + address, 0), 0u)
      << Text(control::kPhoneAddress);

  // A press on the text, as the mouse gives it: only a static with
  // SS_NOTIFY tells the dialog.
  const auto clickAddress = [&] {
    PostMessageA(Item(control::kPhoneAddress), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
    PostMessageA(Item(control::kPhoneAddress), WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
    HWND code = nullptr;
    WaitFor([&] { return (code = FindWindowA("TVXHandvaneQrCode", nullptr)) != nullptr; }, 10000);
    return code;
  };
  HWND code = clickAddress();
  ASSERT_NE(code, nullptr);
  RECT rect{};
  GetWindowRect(code, &rect);
  EXPECT_GE((rect.bottom - rect.top) * 10, GetSystemMetrics(SM_CYSCREEN) * 6);
  EXPECT_EQ(WindowText(code), address);
  // Painted once the quiet zone's corner shows white.
  EXPECT_TRUE(WaitFor(
      [&] {
        POINT corner{2, 2};
        ClientToScreen(code, &corner);
        return ScreenPixel(corner) == RGB(255, 255, 255);
      },
      5000));
  SaveCapture(code, TVX_QR_CAPTURE);
  std::ofstream(TVX_QR_CAPTURE ".txt") << address;

  PostMessageA(code, WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_TRUE(WaitFor([&] { return !IsWindow(code); }, 5000));
  code = clickAddress();
  ASSERT_NE(code, nullptr);
  PostMessageA(code, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
  EXPECT_TRUE(WaitFor([&] { return !IsWindow(code); }, 5000));

  // A double click's second press activates the dialog; the code takes the keyboard back.
  code = clickAddress();
  ASSERT_NE(code, nullptr);
  SetForegroundWindow(dialog);
  PostMessageA(Item(control::kPhoneAddress), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(4, 4));
  PostMessageA(Item(control::kPhoneAddress), WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
  EXPECT_TRUE(WaitFor(
      [&] {
        code = FindWindowA("TVXHandvaneQrCode", nullptr);
        return code != nullptr && GetForegroundWindow() == code;
      },
      5000));
  // Escape on the dialog closes the code, not the program.
  SetForegroundWindow(dialog);
  PostMessageA(Item(control::kHomeDirectory), WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_TRUE(WaitFor([&] { return FindWindowA("TVXHandvaneQrCode", nullptr) == nullptr; }, 5000));
  EXPECT_TRUE(IsWindow(dialog));
  EXPECT_EQ(FetchBody(otherPort, ReportPath(kSelectedPointer, 1, 0, 0, false, false, 0)), "0000");

  // The code goes with its address.
  code = clickAddress();
  ASSERT_NE(code, nullptr);
  Click(control::kStop);
  EXPECT_TRUE(WaitFor([&] { return !IsWindow(code); }, 5000));
}

// Each reporting pointer's dot at its place and in its colour, on a window
// that clicks go through; the system menu switches it off.
TEST_F(DialogWindowTest, PointerOverlayShowsEachDotOverTheScreenAndLetsClicksThrough) {
  EXPECT_TRUE(platform::ProfileWriteString(ini, "Control", "ShowPointers", "1"));
  ASSERT_TRUE(StartProgram());
  HWND overlay = WaitForOverlay();
  ASSERT_NE(overlay, nullptr);
  const LONG_PTR wanted =
      WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_TOPMOST | WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW;
  EXPECT_EQ(GetWindowLongPtrA(overlay, GWL_EXSTYLE) & wanted, wanted);
  const int width = GetSystemMetrics(SM_CXSCREEN);
  const int height = GetSystemMetrics(SM_CYSCREEN);
  const int radius = OverlayDotRadius(height);
  const auto fillOf = [&](int x, int y) {
    return POINT{OverlayPixel(x, 0, width), OverlayPixel(y, 0, height) - radius + 2};
  };
  const auto colourOf = [](int pointer) {  // 0xRRGGBB as a COLORREF
    return RGB(DotColour(pointer) >> 16, DotColour(pointer) >> 8, DotColour(pointer));
  };
  for (const auto& [pointer, x, y] :
       {std::tuple{kSelectedPointer, 16384, 16384}, {5, 49152, 40960}}) {
    EXPECT_EQ(FetchBody(static_cast<std::uint16_t>(port),
                        ReportPath(pointer, 1, x, y, pointer == 5, false, 0)),
              "0000");
    EXPECT_TRUE(WaitFor([&] { return ScreenPixel(fillOf(x, y)) == colourOf(pointer); }, 5000))
        << std::hex << ScreenPixel(fillOf(x, y));
  }
  EXPECT_NE(GetForegroundWindow(), overlay);
  const POINT dot{OverlayPixel(16384, 0, width), OverlayPixel(16384, 0, height)};
  EXPECT_NE(WindowFromPoint(dot), overlay) << "a click on a dot reaches the window below";

  // Silent past five seconds: the dot leaves.
  EXPECT_TRUE(WaitFor([&] { return ScreenPixel(fillOf(49152, 40960)) != colourOf(5); }, 8000));

  SendMessageA(dialog, WM_SYSCOMMAND, Win32DialogView::kShowPointersCommand, 0);
  EXPECT_FALSE(IsWindowVisible(overlay));
  EXPECT_EQ(platform::ProfileReadString(ini, "Control", "ShowPointers", "", 460), "0");
}

// Another program holds the port: the status says the server is stopped, and
// the advice names the INI's whole path and what to restart. The folder's
// name ends outside any ANSI code page: the program still finds the INI
// beside it, which gives the port.
TEST_F(DialogWindowTest, APortInUseIsToldWholeAndTheStatusSaysStopped) {
  PlaceProgramIn(folder.File("a_folder_whose_name_is_far_longer_than_the_address_line_is_wide_"
                             "\xD0\x94\xD0\xBC\xD0\xB8\xD1\x82\xD1\x80\xD0\xB8\xD0\xB9"));
  const BusyPort busy(static_cast<std::uint16_t>(port));
  ASSERT_TRUE(busy.Listening());

  ASSERT_TRUE(OpenWindow());
  EXPECT_TRUE(WaitFor([&] { return Text(control::kStatus) == "Stopped."; }, 30000))
      << Text(control::kStatus);
  const std::string text = Text(control::kPhoneAddress);
  EXPECT_NE(text.find(ini + " and restart"), std::string::npos) << text;
}

// The template against the control table: every control where the table
// puts it, in dialog units mapped through the dialog's own font. Started by
// the test below with TVX_TEMPLATE_REPORT set, it writes the system's DPI and
// the dialog's client size into that file.
TEST(DialogTemplateTest, ControlsSitWhereTheTemplatePutsThem) {
  struct Placed {
    int control, x, y, width, height;
  };
  const std::vector<Placed> table = {
      {1006, 15, 28, 148, 12},  {1007, 168, 27, 15, 14},  {1008, 15, 54, 96, 12},
      {1013, 15, 84, 44, 12},   {1014, 93, 84, 44, 12},   {1021, 13, 121, 181, 10},
      {1019, 13, 131, 181, 10}, {1000, 215, 20, 50, 14},  {1001, 215, 39, 50, 14},
      {1003, 215, 58, 50, 14},  {1018, 215, 77, 50, 14},  {1, 215, 136, 50, 14},
      {1002, 15, 174, 92, 10},  {1012, 76, 189, 51, 8},   {1011, 76, 199, 51, 8},
      {1010, 76, 209, 51, 8},   {1009, 76, 219, 62, 8},   {1016, 76, 229, 51, 8},
      {1015, 202, 209, 68, 8},  {1017, 202, 219, 68, 8},  {1024, 202, 229, 68, 8},
      {1022, 189, 176, 24, 20}, {1023, 229, 176, 24, 20}, {1031, 189, 198, 63, 10},
      {1025, 15, 258, 81, 14},  {1026, 99, 258, 81, 14},  {1027, 183, 258, 81, 14},
      {1028, 15, 275, 81, 14},  {1029, 99, 275, 81, 14},  {1030, 183, 275, 81, 14},
      {1032, 15, 302, 258, 31},
  };
  HWND dialog = CreateTemplateDialog();
  ASSERT_NE(dialog, nullptr);
  for (const Placed& placed : table) {
    // Position and size are mapped each on its own, as the dialog manager does.
    RECT expected{placed.x, placed.y, placed.width, placed.height};
    MapDialogRect(dialog, &expected);
    HWND item = GetDlgItem(dialog, placed.control);
    ASSERT_NE(item, nullptr) << placed.control;
    RECT actual{};
    GetWindowRect(item, &actual);
    MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&actual), 2);
    EXPECT_EQ(actual.left, expected.left) << placed.control;
    EXPECT_EQ(actual.top, expected.top) << placed.control;
    EXPECT_EQ(actual.right - actual.left, expected.right) << placed.control;
    EXPECT_EQ(actual.bottom - actual.top, expected.bottom) << placed.control;
  }
  for (int disabled : {1007, 1008, 1013, 1014})
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, disabled)));
  // The address line tells the dialog of clicks.
  EXPECT_TRUE(GetWindowLongA(GetDlgItem(dialog, 1032), GWL_STYLE) & SS_NOTIFY);
  if (const char* report = std::getenv("TVX_TEMPLATE_REPORT")) {
    RECT client{};
    GetClientRect(dialog, &client);
    std::ofstream(report) << SystemDpi() << ' ' << client.right << ' ' << client.bottom;
  }
  DestroyWindow(dialog);
}

// LogPixels of the prefix's user set for as long as this lives; a process
// started meanwhile takes it as the system's DPI.
class SystemDpiSetting {
 public:
  explicit SystemDpiSetting(DWORD dpi) {
    RegCreateKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, nullptr, 0,
                    KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key_, nullptr);
    DWORD size = sizeof old_;
    hadValue_ = RegQueryValueExA(key_, "LogPixels", nullptr, nullptr,
                                 reinterpret_cast<BYTE*>(&old_), &size) == ERROR_SUCCESS;
    Set(dpi);
  }
  ~SystemDpiSetting() {
    if (hadValue_) {
      Set(old_);
    } else {
      RegDeleteValueA(key_, "LogPixels");
    }
    RegCloseKey(key_);
  }
  SystemDpiSetting(const SystemDpiSetting&) = delete;
  SystemDpiSetting& operator=(const SystemDpiSetting&) = delete;

 private:
  void Set(DWORD dpi) {
    RegSetValueExA(key_, "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi),
                   sizeof dpi);
  }
  HKEY key_ = nullptr;
  DWORD old_ = 0;
  bool hadValue_ = false;
};

// Runs one test of this program in a process of its own, which starts with
// the system's DPI at dpi and variable set to value; its exit code, -1 when
// it did not end.
int RunTestAtDpi(const char* test, DWORD dpi, const char* variable, const std::string& value,
                 const std::string& outputFile) {
  char self[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, self, sizeof self);
  const SystemDpiSetting setting(dpi);
  int exitCode = -1;  // the child never started
  platform::ChildProcess child;
  if (platform::SetEnvironment(variable, value) &&
      child.Start(self, {std::string("--gtest_filter=") + test}, outputFile) &&
      !child.WaitForExit(60000, exitCode)) {
    exitCode = -2;  // nor ended
  }
  SetEnvironmentVariableA(variable, nullptr);
  return exitCode;
}

// At 150 % the template's layout holds as at 100 %, each control where the
// dialog's font puts it, and the dialog grows by half (within the rounding
// of the font's size).
TEST(DialogTemplateTest, LayoutHoldsAtOneAndAHalfTimesTheDpi) {
  ASSERT_EQ(SystemDpi(), 96);
  HWND dialog = CreateTemplateDialog();
  ASSERT_NE(dialog, nullptr);
  RECT atNormalDpi{};
  GetClientRect(dialog, &atNormalDpi);
  DestroyWindow(dialog);

  TempFolder folder;
  const std::string report = folder.File("report.txt");
  EXPECT_EQ(RunTestAtDpi("DialogTemplateTest.ControlsSitWhereTheTemplatePutsThem", 144,
                         "TVX_TEMPLATE_REPORT", report, folder.File("output.txt")),
            0)
      << TempFolder::ReadAll(folder.File("output.txt"));
  int dpi = 0, width = 0, height = 0;
  std::istringstream(TempFolder::ReadAll(report)) >> dpi >> width >> height;
  EXPECT_EQ(dpi, 144);
  EXPECT_NEAR(width, atNormalDpi.right * 1.5, atNormalDpi.right * 0.1);
  EXPECT_NEAR(height, atNormalDpi.bottom * 1.5, atNormalDpi.bottom * 0.1);
}

std::string ManifestOf(const std::string& program) {
  HMODULE module = LoadLibraryExA(program.c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (module == nullptr) return "";
  std::string text;
  if (HRSRC found = FindResourceA(module, CREATEPROCESS_MANIFEST_RESOURCE_ID, RT_MANIFEST);
      found != nullptr) {
    text.assign(static_cast<const char*>(LockResource(LoadResource(module, found))),
                SizeofResource(module, found));
  }
  FreeLibrary(module);
  return text;
}

// Without these Windows draws the dialog with the classic controls and, at
// 125 % and more, stretches it as a bitmap, which blurs its text.
TEST(ProgramManifestTest, AsksForThemedControlsAndPerMonitorDpi) {
  for (const char* program : {"TVXHandvane.exe", "Codeplate.exe", "TVXTap.exe"}) {
    const std::string manifest = ManifestOf(JoinPath(BinFolder(), program));
    EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
              std::string::npos)
        << program << ":\n"
        << manifest;
    EXPECT_NE(manifest.find(">PerMonitorV2</dpiAwareness>"), std::string::npos) << program;
    EXPECT_NE(manifest.find(">true</dpiAware>"), std::string::npos) << program;
  }
}

Win32DialogView* paintedView = nullptr;

// The colour of a control's centre as its dialog has painted it.
COLORREF PaintedCentre(HWND dialog, int control) {
  RECT rect{};
  GetWindowRect(GetDlgItem(dialog, control), &rect);
  MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&rect), 2);
  HDC dc = GetDC(dialog);
  const COLORREF colour = GetPixel(dc, (rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
  ReleaseDC(dialog, dc);
  return colour;
}

// A notice longer than the address line's room (a long path in the advice)
// shows whole: it wraps within the line's width, the line and the dialog
// grow, and give the room back after. At the system's DPI; the test below
// runs it at each DPI of its table.
TEST(DialogViewTest, ALongNoticeShowsWholeAndTheLineShrinksBack) {
  if (const char* dpi = std::getenv("TVX_EXPECTED_DPI")) {
    ASSERT_EQ(SystemDpi(), std::atoi(dpi));
  }
  Win32DialogView view;
  HWND dialog = CreateTemplateDialog();
  ASSERT_NE(dialog, nullptr);
  view.Attach(dialog);
  HWND line = GetDlgItem(dialog, control::kPhoneAddress);
  int widestLine = 0;           // what the text needs across, at the last look
  const auto heights = [&] {  // the line's, the room below it, what its text needs
    RECT lineRect{}, client{}, needed{};
    GetWindowRect(line, &lineRect);
    MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&lineRect), 2);
    GetClientRect(dialog, &client);
    GetClientRect(line, &needed);
    HDC dc = GetDC(line);
    const HGDIOBJ font =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(line, WM_GETFONT, 0, 0)));
    DrawTextA(dc, WindowText(line).c_str(), -1, &needed,
              DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
    SelectObject(dc, font);
    ReleaseDC(line, dc);
    widestLine = needed.right - needed.left;
    return std::tuple{lineRect.bottom - lineRect.top, client.bottom - lineRect.bottom,
                      needed.bottom - needed.top};
  };
  const auto [templateHeight, marginBelow, ignored] = heights();
  view.ShowNotice(
      "The server is not running: port 8080 is in use by another program. End that program and "
      "start again, or change Port under [Control] in "
      "C:\\users\\teacher\\AppData\\Local\\Programs\\a_folder_whose_name_is_far_longer_than_the_"
      "line\\TVXHandvane\\TVXHandvane.INI and restart TVXHandvane.");
  const auto [grownHeight, grownMargin, textHeight] = heights();
  RECT lineClient{};
  GetClientRect(line, &lineClient);
  EXPECT_LE(widestLine, lineClient.right);
  EXPECT_GT(grownHeight, templateHeight);
  EXPECT_GE(grownHeight, textHeight);
  EXPECT_EQ(grownMargin, marginBelow);
  view.ShowNotice("Server stopped.");
  const auto [shrunkHeight, shrunkMargin, shortHeight] = heights();
  EXPECT_EQ(std::pair(shrunkHeight, shrunkMargin), std::pair(templateHeight, marginBelow));
  DestroyWindow(dialog);
}

// The long notice at 96 and 144 DPI, each in a process that starts with it.
TEST(DialogViewTest, ALongNoticeShowsWholeAtEachDpi) {
  for (const DWORD dpi : {96u, 144u}) {
    TempFolder folder;
    EXPECT_EQ(RunTestAtDpi("DialogViewTest.ALongNoticeShowsWholeAndTheLineShrinksBack", dpi,
                           "TVX_EXPECTED_DPI", std::to_string(dpi), folder.File("output.txt")),
              0)
        << dpi << " DPI: " << TempFolder::ReadAll(folder.File("output.txt"));
  }
}

// A tick's button states show at once: no message is dispatched between
// the tick and the look at the squares. Each field lands in its own control;
// the "Cursor screen" menu is filled afresh as it opens; the overlay lies
// over the part of the desktop it is given.
TEST(DialogViewTest, RendersTheStateFillsTheMenuAndPlacesTheOverlay) {
  Win32DialogView view;
  paintedView = &view;
  HWND dialog = CreateTemplateDialog([](HWND, UINT message, WPARAM, LPARAM) -> INT_PTR {
    if (message != WM_PAINT) return FALSE;
    paintedView->Paint(nullptr);
    return TRUE;
  });
  ASSERT_NE(dialog, nullptr);
  view.Attach(dialog);
  ShowWindow(dialog, SW_SHOWNORMAL);
  UpdateWindow(dialog);
  EXPECT_EQ(PaintedCentre(dialog, control::kButtonLIndicator), RGB(210, 210, 210));
  DialogState state;
  state.live.buttonL = true;
  view.Render(state);
  EXPECT_EQ(PaintedCentre(dialog, control::kButtonLIndicator), RGB(0, 255, 0));
  EXPECT_EQ(PaintedCentre(dialog, control::kButtonRIndicator), RGB(210, 210, 210));
  state.live.buttonL = false;
  state.live.buttonR = true;
  view.Render(state);
  EXPECT_EQ(PaintedCentre(dialog, control::kButtonLIndicator), RGB(210, 210, 210));
  EXPECT_EQ(PaintedCentre(dialog, control::kButtonRIndicator), RGB(255, 0, 0));

  state.statusText = "Working...";
  state.statistics = {"3", "4", "5", "6", "7", "8"};
  state.live = {"1", "2", false, true, true};
  state.cursorEmulation = true;
  state.selectedPointer = 42;
  state.fields.port = 8123;
  ++state.fieldsPushed;
  view.Render(state);
  const std::pair<int, const char*> expected[] = {{control::kStatus, "Working..."},
                                                  {control::kActiveConnections, "3"},
                                                  {control::kKbReceived, "4"},
                                                  {control::kKbSent, "5"},
                                                  {control::kRequests, "6"},
                                                  {control::kRequestsPerSecond, "7"},
                                                  {control::kVisitors, "8"},
                                                  {control::kX, "1"},
                                                  {control::kY, "2"},
                                                  {control::kPort, "8123"}};
  for (const auto& [id, text] : expected) EXPECT_EQ(WindowText(GetDlgItem(dialog, id)), text) << id;
  EXPECT_EQ(IsDlgButtonChecked(dialog, control::kOffScreen), BST_CHECKED);
  EXPECT_EQ(IsDlgButtonChecked(dialog, control::kCursorEmulation), BST_CHECKED);
  EXPECT_EQ(SendDlgItemMessageA(dialog, control::kPointerList, CB_GETCURSEL, 0, 0), 42);

  view.FillCursorScreenMenu(CursorScreenChoices(
      {CursorScreen::Kind::kMonitor, 2}, {{{0, 0, 640, 480}, true}, {{640, 0, 320, 240}, false}}));
  view.FillCursorScreenMenu(
      CursorScreenChoices({CursorScreen::Kind::kAll, 0}, {{{0, 0, 640, 480}, true}}));
  HMENU menu = view.CursorScreenMenu();
  ASSERT_EQ(GetMenuItemCount(menu), 3);
  const std::pair<CursorScreen, const char*> entries[] = {
      {{}, "Primary"},
      {{CursorScreen::Kind::kMonitor, 1}, "Monitor 1 (640x480 at 0,0)"},
      {{CursorScreen::Kind::kAll, 0}, "All"}};
  for (int i = 0; i < 3; ++i) {
    const UINT id = GetMenuItemID(menu, i);
    char caption[64] = "";
    GetMenuStringA(menu, static_cast<UINT>(i), caption, sizeof caption, MF_BYPOSITION);
    EXPECT_STREQ(caption, entries[i].second);
    EXPECT_EQ(Win32DialogView::CursorScreenOfCommand(id), entries[i].first) << i;
    EXPECT_EQ((GetMenuState(menu, id, MF_BYCOMMAND) & MF_CHECKED) != 0, i == 2) << i;
  }
  EXPECT_FALSE(Win32DialogView::CursorScreenOfCommand(Win32DialogView::kShowPointersCommand));
  EXPECT_FALSE(Win32DialogView::CursorScreenOfCommand(SC_CLOSE));
  DestroyWindow(dialog);
  paintedView = nullptr;

  PointerOverlayWindow overlay([](PointerSightings&) {});
  overlay.SetScreenArea(platform::ScreenRect{100, 50, 320, 240});
  overlay.Switch(true);
  HWND window = FindWindowA("TVXHandvanePointers", nullptr);
  ASSERT_NE(window, nullptr);
  const auto placed = [window] {
    RECT r{};
    GetWindowRect(window, &r);
    return std::tuple{r.left, r.top, r.right - r.left, r.bottom - r.top};
  };
  EXPECT_EQ(placed(), std::tuple(100, 50, 320, 240));
  // Moved to a place of the same size, with no dot changed.
  overlay.SetScreenArea(platform::ScreenRect{200, 60, 320, 240});
  overlay.Refresh();
  EXPECT_EQ(placed(), std::tuple(200, 60, 320, 240));
}

}  // namespace
