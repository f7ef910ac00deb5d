#include "app/win32/qr_code_window.h"

#include <algorithm>

QrCodeWindow::~QrCodeWindow() {
  Close();
}

void QrCodeWindow::Close() {
  if (window_ != nullptr) DestroyWindow(window_);  // WM_NCDESTROY clears window_
  if (font_ != nullptr) DeleteObject(font_);
  font_ = nullptr;
}

void QrCodeWindow::Show(HWND owner, const std::string& address, const QrMatrix& code,
                        const std::optional<platform::ScreenRect>& area) {
  Close();
  address_ = address;
  code_ = code;

  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  // On the projector the pad covers, where the class looks.
  const RECT areaRect = area ? RECT{area->x, area->y, area->x + area->width, area->y + area->height}
                             : RECT{};
  GetMonitorInfoA(area ? MonitorFromRect(&areaRect, MONITOR_DEFAULTTOPRIMARY)
                       : MonitorFromWindow(owner, MONITOR_DEFAULTTOPRIMARY),
                  &monitor);
  const RECT& screen = monitor.rcMonitor;
  const int screenWidth = screen.right - screen.left;
  // A screen turned upright is narrower than high: the code fits either way.
  modulePixels_ =
      ModulePixelsForScreen(code_.Side(), std::min<int>(screenWidth, screen.bottom - screen.top));
  const int codePixels = code_.Side() * modulePixels_;

  // The address under the code, large enough to read off the wall too.
  font_ = CreateFontA(-std::max(16, codePixels / 16), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                      DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                      DEFAULT_PITCH | FF_SWISS, "Arial");
  HDC screenDc = GetDC(nullptr);
  HGDIOBJ oldFont = SelectObject(screenDc, font_);
  const auto extent = [screenDc](const std::string& text) {
    SIZE size{};
    GetTextExtentPoint32A(screenDc, text.c_str(), static_cast<int>(text.size()), &size);
    return size;
  };
  const SIZE text = extent(address_);

  // No wider than the monitor, frame included; the line gives up its middle.
  constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
  RECT frameOnly{0, 0, 0, 0};
  AdjustWindowRectEx(&frameOnly, kStyle, FALSE, 0);
  const int widest = screenWidth - (frameOnly.right - frameOnly.left);
  const int clientWidth =
      std::min(widest, std::max(codePixels, static_cast<int>(text.cx) + 2 * modulePixels_));
  const int room = clientWidth - 2 * modulePixels_;
  shownAddress_ = ElideMiddle(
      address_, [&extent, room](const std::string& line) { return extent(line).cx <= room; });
  SelectObject(screenDc, oldFont);
  ReleaseDC(nullptr, screenDc);

  RECT frame{0, 0, clientWidth, codePixels + text.cy + modulePixels_};
  AdjustWindowRectEx(&frame, kStyle, FALSE, 0);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;

  RegisterWindowClass();
  window_ = CreateWindowExA(0, kClassName, address_.c_str(), kStyle,
                            (screen.left + screen.right - width) / 2,
                            (screen.top + screen.bottom - height) / 2, width, height, owner,
                            nullptr, GetModuleHandleA(nullptr), this);
  if (window_ == nullptr) return;
  ShowWindow(window_, SW_SHOW);
  SetForegroundWindow(window_);
  SetFocus(window_);
}

void QrCodeWindow::RegisterWindowClass() {
  WNDCLASSEXA existing{};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExA(GetModuleHandleA(nullptr), kClassName, &existing)) return;
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = &Procedure;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32649));  // IDC_HAND
  windowClass.lpszClassName = kClassName;
  RegisterClassExA(&windowClass);
}

LRESULT CALLBACK QrCodeWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<QrCodeWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  switch (message) {
    case WM_KEYDOWN:
      if (wParam == VK_ESCAPE) DestroyWindow(window);
      return 0;
    case WM_LBUTTONDOWN:
      DestroyWindow(window);
      return 0;
    case WM_ERASEBKGND:
      return 1;  // the painting covers every pixel
    case WM_PAINT:
      if (self != nullptr) self->Paint();
      return 0;
    case WM_NCDESTROY:
      if (self != nullptr && self->window_ == window) self->window_ = nullptr;
      break;
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// Fixed colours, not the system's: a dark scheme must not invert the code.
void QrCodeWindow::Paint() {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window_, &paint);
  RECT client{};
  GetClientRect(window_, &client);
  HBRUSH white = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  FillRect(dc, &client, white);
  const int codePixels = code_.Side() * modulePixels_;
  const int left = (client.right - codePixels) / 2;
  for (int y = 0; y < code_.Side(); ++y) {
    for (int x = 0; x < code_.Side(); ++x) {
      if (!code_.IsDark(x, y)) continue;
      const RECT module{left + x * modulePixels_, y * modulePixels_, left + (x + 1) * modulePixels_,
                        (y + 1) * modulePixels_};
      FillRect(dc, &module, black);
    }
  }
  HGDIOBJ oldFont = SelectObject(dc, font_);
  SetTextColor(dc, RGB(0, 0, 0));
  SetBkColor(dc, RGB(255, 255, 255));
  RECT text{0, codePixels, client.right, client.bottom};
  DrawTextA(dc, shownAddress_.c_str(), static_cast<int>(shownAddress_.size()), &text,
            DT_CENTER | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(dc, oldFont);
  EndPaint(window_, &paint);
}
