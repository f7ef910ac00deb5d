#include "app/win32/pointer_overlay_window.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

namespace {

constexpr char kWindowClass[] = "TVXHandvanePointers";
constexpr UINT_PTR kFrameTimer = 1;
constexpr UINT kFallbackFrameMs = kOverlayMinFrameMs;

// A display frame of the primary display, as near as the timer gets, or the
// overlay's own least period when the display is faster.
UINT FramePeriodMs() {
  DEVMODEA mode{};
  mode.dmSize = sizeof mode;
  if (!EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode)) return kFallbackFrameMs;
  const DWORD rate = mode.dmDisplayFrequency;
  if (rate < 20 || rate > 500) return kFallbackFrameMs;  // 0 and 1 mean the hardware's default
  const UINT period = 1000 / rate;
  return std::max<UINT>({USER_TIMER_MINIMUM, kOverlayMinFrameMs, period});
}

// A dark plate with the name in light letters, in the system's fonts,
// which know every script; a long name ends in an ellipsis. The plate is
// opaque, so the pixels GDI leaves without alpha are made opaque too.
OverlayLabel NamePlate(const std::string& name, int radius) {
  OverlayLabel label;
  const int wideCount =
      MultiByteToWideChar(CP_UTF8, 0, name.data(), static_cast<int>(name.size()), nullptr, 0);
  if (wideCount <= 0) return label;
  std::vector<wchar_t> wide(static_cast<std::size_t>(wideCount));
  MultiByteToWideChar(CP_UTF8, 0, name.data(), static_cast<int>(name.size()), wide.data(),
                      wideCount);
  const int height = OverlayLabelHeight(radius);
  const int pad = std::max(2, height / 4);
  HDC memory = CreateCompatibleDC(nullptr);
  HFONT font = CreateFontW(-std::max(8, height * 3 / 4), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                           DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                           ANTIALIASED_QUALITY, DEFAULT_PITCH, L"Segoe UI");
  if (memory == nullptr || font == nullptr) {
    if (font != nullptr) DeleteObject(font);
    if (memory != nullptr) DeleteDC(memory);
    return label;
  }
  HGDIOBJ oldFont = SelectObject(memory, font);
  SIZE extent{};
  GetTextExtentPoint32W(memory, wide.data(), wideCount, &extent);
  const int width = std::min(OverlayLabelMaxWidth(radius), static_cast<int>(extent.cx) + 2 * pad);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap != nullptr) {
    HGDIOBJ oldBitmap = SelectObject(memory, bitmap);
    RECT whole{0, 0, width, height};
    HBRUSH plate = CreateSolidBrush(RGB(32, 32, 32));
    FillRect(memory, &whole, plate);
    DeleteObject(plate);
    SetBkMode(memory, TRANSPARENT);
    SetTextColor(memory, RGB(255, 255, 255));
    RECT text{pad, 0, width - pad, height};
    DrawTextW(memory, wide.data(), wideCount, &text,
              DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_END_ELLIPSIS | DT_NOPREFIX);
    GdiFlush();
    const auto* pixels = static_cast<const std::uint32_t*>(bits);
    label.width = width;
    label.height = height;
    label.pixels.assign(pixels, pixels + static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (std::uint32_t& pixel : label.pixels) pixel |= 0xFF000000u;
    SelectObject(memory, oldBitmap);
    DeleteObject(bitmap);
  }
  SelectObject(memory, oldFont);
  DeleteObject(font);
  DeleteDC(memory);
  return label;
}

RECT PrimaryMonitorRect() {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (!GetMonitorInfoA(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &info)) {
    return RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  }
  return info.rcMonitor;
}

}  // namespace

RECT PointerOverlayWindow::ScreenRect() const {
  if (!area_) return PrimaryMonitorRect();
  return RECT{area_->x, area_->y, area_->x + area_->width, area_->y + area_->height};
}

PointerOverlayWindow::PointerOverlayWindow(SightingsReader read)
    : read_(std::move(read)), plates_(NamePlate) {}

PointerOverlayWindow::~PointerOverlayWindow() {
  if (window_ != nullptr) DestroyWindow(window_);
  FreeSurface();
}

bool PointerOverlayWindow::Create() {
  if (window_ != nullptr) return true;
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = Procedure;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = kWindowClass;
  RegisterClassExA(&windowClass);  // fails harmlessly once registered
  const RECT monitor = ScreenRect();
  placed_ = monitor;
  window_ = CreateWindowExA(
      WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_TOPMOST | WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW,
      kWindowClass, "TVXHandvane pointers", WS_POPUP, monitor.left, monitor.top,
      monitor.right - monitor.left, monitor.bottom - monitor.top, nullptr, nullptr, instance, this);
  return window_ != nullptr;
}

void PointerOverlayWindow::Switch(bool on) {
  if (on == on_) return;
  if (on && !Create()) return;
  on_ = on;
  if (!on) {
    KillTimer(window_, kFrameTimer);
    ShowWindow(window_, SW_HIDE);
    return;
  }
  Refresh();
  ShowWindow(window_, SW_SHOWNOACTIVATE);
  SetWindowPos(window_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  SetTimer(window_, kFrameTimer, FramePeriodMs(), nullptr);
}

// The place is asked afresh every frame: a monitor plugged in, unplugged or
// set to another resolution, or another choice of screen moves the overlay.
void PointerOverlayWindow::Refresh() {
  if (window_ == nullptr) return;
  const RECT monitor = ScreenRect();
  const OverlayRect screen{monitor.left, monitor.top, monitor.right, monitor.bottom};
  if (screen.IsEmpty() || !FitSurface(screen.Width(), screen.Height())) return;
  Place(monitor);
  read_(sightings_);
  const OverlayLabels& plates = plates_.For(OverlayDotRadius(screen.Height()));
  canvas_.SetLabels(&plates);
  BuildOverlayFrame(sightings_, sightings_.now, selectedPointer_, screen, frame_, &plates);
  canvas_.Paint(frame_, changes_);
  if (changes_.count > 0) Push(changes_);
}

void PointerOverlayWindow::OnFrameTimer() {
  using Clock = std::chrono::steady_clock;
  const auto micros = [](Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::microseconds>(t.time_since_epoch()).count();
  };
  const Clock::time_point start = Clock::now();
  if (!budget_.MayDraw(micros(start))) return;
  Refresh();
  budget_.Drawn(micros(start), micros(Clock::now()) - micros(start));
}

// A move to a place of the same size changes no dot: the window is moved
// here, not only by the next change of the dots.
void PointerOverlayWindow::Place(const RECT& rect) {
  if (EqualRect(&rect, &placed_)) return;
  placed_ = rect;
  SetWindowPos(window_, HWND_TOPMOST, rect.left, rect.top, rect.right - rect.left,
               rect.bottom - rect.top, SWP_NOACTIVATE);
}

bool PointerOverlayWindow::FitSurface(int width, int height) {
  if (bitmap_ != nullptr && width == surfaceWidth_ && height == surfaceHeight_) return true;
  FreeSurface();
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  HDC screen = GetDC(nullptr);
  void* bits = nullptr;
  bitmap_ = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  memory_ = CreateCompatibleDC(screen);
  ReleaseDC(nullptr, screen);
  if (bitmap_ == nullptr || memory_ == nullptr) {
    FreeSurface();
    return false;
  }
  oldBitmap_ = SelectObject(memory_, bitmap_);
  bits_ = static_cast<std::uint32_t*>(bits);
  surfaceWidth_ = width;
  surfaceHeight_ = height;
  return true;
}

void PointerOverlayWindow::FreeSurface() {
  if (memory_ != nullptr) {
    if (oldBitmap_ != nullptr) SelectObject(memory_, oldBitmap_);
    DeleteDC(memory_);
  }
  if (bitmap_ != nullptr) DeleteObject(bitmap_);
  memory_ = nullptr;
  bitmap_ = nullptr;
  oldBitmap_ = nullptr;
  bits_ = nullptr;
  surfaceWidth_ = surfaceHeight_ = 0;
}

// The changed rectangles go into the surface and the system takes their
// union in one call: wine copies the whole surface on every call, whatever
// its dirty rectangle, so one call a frame costs least there. The window
// keeps its place and size here (Place moves it): the call names neither.
void PointerOverlayWindow::Push(const OverlayCanvas::Changes& changes) {
  const int width = canvas_.Width();
  for (int i = 0; i < changes.count; ++i) {
    const OverlayRect& rect = changes.rects[static_cast<std::size_t>(i)];
    for (int y = rect.top; y < rect.bottom; ++y) {
      std::memcpy(bits_ + y * width + rect.left, canvas_.Pixels() + y * width + rect.left,
                  static_cast<std::size_t>(rect.Width()) * sizeof(std::uint32_t));
    }
  }
  POINT source{0, 0};
  BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  const RECT dirty{changes.bounds.left, changes.bounds.top, changes.bounds.right,
                   changes.bounds.bottom};
  UPDATELAYEREDWINDOWINFO update{};
  update.cbSize = sizeof update;
  update.hdcSrc = memory_;
  update.pptSrc = &source;
  update.pblend = &blend;
  update.dwFlags = ULW_ALPHA;
  update.prcDirty = &dirty;
  if (!UpdateLayeredWindowIndirect(window_, &update)) {
    POINT destination{frame_.screen.left, frame_.screen.top};
    SIZE size{width, canvas_.Height()};
    UpdateLayeredWindow(window_, nullptr, &destination, &size, memory_, &source, 0, &blend,
                        ULW_ALPHA);
  }
}

LRESULT CALLBACK PointerOverlayWindow::Procedure(HWND window, UINT message, WPARAM wParam,
                                                 LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* overlay = reinterpret_cast<PointerOverlayWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  switch (message) {
    case WM_TIMER:
      if (overlay != nullptr && overlay->on_) overlay->OnFrameTimer();
      return 0;
    case WM_DISPLAYCHANGE:
      if (overlay != nullptr && overlay->on_) overlay->Refresh();
      return 0;
    case WM_MOUSEACTIVATE:
      return MA_NOACTIVATE;
    case WM_NCHITTEST:
      return HTTRANSPARENT;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}
