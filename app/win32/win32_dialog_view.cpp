#include "app/win32/win32_dialog_view.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/dialog_controls.h"
#include "app/dialog_template.h"
#include "common/pointer_limits.h"

namespace {

constexpr UINT_PTR kTimerId = 1;
constexpr COLORREF kIndicatorOff = RGB(210, 210, 210);

static_assert(sizeof(WINDOWPLACEMENT) == kWindowPlacementSize,
              "the stored record is the platform's placement record byte for byte");

RECT ControlRectInDialog(HWND dialog, int control) {
  RECT rect{};
  GetWindowRect(GetDlgItem(dialog, control), &rect);
  MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

}  // namespace

void Win32DialogView::Attach(HWND dialog) {
  dialog_ = dialog;
  indicatorRects_[0] = ControlRectInDialog(dialog, control::kButtonLIndicator);
  const RECT line = ControlRectInDialog(dialog, control::kPhoneAddress);
  RECT client{};
  GetClientRect(dialog, &client);
  addressLineHeight_ = line.bottom - line.top;
  marginBelowAddressLine_ = client.bottom - line.bottom;
  indicatorRects_[1] = ControlRectInDialog(dialog, control::kButtonRIndicator);
  // "Pointer 00" to "Pointer 79": zero-padded, so the sorted list has
  // pointer n at entry n.
  for (int i = 0; i < kPointerCount; ++i) {
    char entry[16];
    std::snprintf(entry, sizeof entry, "Pointer %02d", i);
    SendDlgItemMessageA(dialog_, control::kPointerList, CB_ADDSTRING, 0,
                        reinterpret_cast<LPARAM>(entry));
  }
  // The overlay's switch lives in the system menu: no control of the
  // template moves for it.
  HMENU menu = GetSystemMenu(dialog_, FALSE);
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, kShowPointersCommand, "Show pointers on the screen");
  AppendMenuA(menu, MF_STRING, kShowNamesCommand, "Show the pointers' names");
  AppendMenuA(menu, MF_STRING, kRenameCommand, "Rename the selected pointer...");
  AppendMenuA(menu, MF_STRING, kFreeNumberCommand, "Free the selected number");
  cursorScreenMenu_ = CreatePopupMenu();
  AppendMenuA(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(cursorScreenMenu_), "Cursor screen");
}

UINT Win32DialogView::CursorScreenCommand(const CursorScreen& screen) {
  switch (screen.kind) {
    case CursorScreen::Kind::kAll:
      return kCursorScreenAllCommand;
    case CursorScreen::Kind::kMonitor:
      return kCursorScreenMonitorCommand + 16 * static_cast<UINT>(screen.monitor - 1);
    case CursorScreen::Kind::kPrimary:
      break;
  }
  return kCursorScreenPrimaryCommand;
}

std::optional<CursorScreen> Win32DialogView::CursorScreenOfCommand(UINT command) {
  if (command == kCursorScreenPrimaryCommand) return CursorScreen{};
  if (command == kCursorScreenAllCommand) return CursorScreen{CursorScreen::Kind::kAll, 0};
  const UINT last = kCursorScreenMonitorCommand + 16 * (kMostMonitorsOffered - 1);
  if (command < kCursorScreenMonitorCommand || command > last || command % 16 != 0) {
    return std::nullopt;
  }
  return CursorScreen{CursorScreen::Kind::kMonitor,
                      static_cast<int>((command - kCursorScreenMonitorCommand) / 16 + 1)};
}

void Win32DialogView::FillCursorScreenMenu(const std::vector<CursorScreenChoice>& choices) {
  while (GetMenuItemCount(cursorScreenMenu_) > 0) DeleteMenu(cursorScreenMenu_, 0, MF_BYPOSITION);
  for (const CursorScreenChoice& choice : choices) {
    if (choice.screen.monitor > kMostMonitorsOffered) continue;
    AppendMenuA(cursorScreenMenu_, MF_STRING | (choice.chosen ? MF_CHECKED : MF_UNCHECKED),
                CursorScreenCommand(choice.screen), choice.caption.c_str());
  }
}

void Win32DialogView::ConnectPointerOverlay(PointerOverlayWindow::SightingsReader read) {
  overlay_ = std::make_unique<PointerOverlayWindow>(std::move(read));
}

// "Pointer 17 Mia" where the dialog shows names; names are UTF-8, the
// list takes them as UTF-16.
void Win32DialogView::LabelPointerList(const DialogState& state) {
  if (labelsShown_ == state.labelsChanged) return;
  labelsShown_ = state.labelsChanged;
  const HWND list = GetDlgItem(dialog_, control::kPointerList);
  const LRESULT selected = SendMessageW(list, CB_GETCURSEL, 0, 0);
  for (int i = 0; i < kPointerCount; ++i) {
    const std::string text = "Pointer " + state.pointerLabels[static_cast<std::size_t>(i)];
    std::wstring wide(text.size() + 1, L'\0');
    const int count = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                          wide.data(), static_cast<int>(wide.size()));
    wide.resize(count > 0 ? static_cast<std::size_t>(count) : 0);
    const auto entry = static_cast<WPARAM>(i);
    SendMessageW(list, CB_DELETESTRING, entry, 0);
    SendMessageW(list, CB_INSERTSTRING, entry, reinterpret_cast<LPARAM>(wide.c_str()));
  }
  SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

void Win32DialogView::Render(const DialogState& state) {
  for (const auto& [id, text] : dialog_template::ShownTexts(state)) {
    SetItemText(id, id == control::kPhoneAddress ? addressLine_.Text(text) : text);
  }
  RepaintIndicators(state.live.buttonL, state.live.buttonR);
  CheckBox(control::kOffScreen, state.live.offScreen);
  CheckBox(control::kCursorEmulation, state.cursorEmulation);
  LabelPointerList(state);
  const WPARAM entry = static_cast<WPARAM>(state.selectedPointer);
  if (SendDlgItemMessageA(dialog_, control::kPointerList, CB_GETCURSEL, 0, 0) !=
      static_cast<LRESULT>(entry)) {
    SendDlgItemMessageA(dialog_, control::kPointerList, CB_SETCURSEL, entry, 0);
  }
  cursorScreenArea_ = state.cursorScreenArea;
  CheckMenuItem(GetSystemMenu(dialog_, FALSE), kShowPointersCommand,
                MF_BYCOMMAND | (state.showPointers ? MF_CHECKED : MF_UNCHECKED));
  CheckMenuItem(GetSystemMenu(dialog_, FALSE), kShowNamesCommand,
                MF_BYCOMMAND | (state.labels == PointerLabels::kNames ? MF_CHECKED : MF_UNCHECKED));
  if (overlay_) {
    overlay_->SetSelectedPointer(state.selectedPointer);
    overlay_->SetLabels(state.pointerLabels, state.labelsChanged);
    overlay_->SetScreenArea(state.cursorScreenArea);
    overlay_->Switch(state.showPointers);
  }
  if (fieldsPushed_ != state.fieldsPushed) {
    fieldsPushed_ = state.fieldsPushed;
    for (const auto& [id, text] : dialog_template::FieldControlTexts(state.fields)) {
      SetItemText(id, text);
    }
  }
}

std::optional<FieldTexts> Win32DialogView::TakeFieldTexts() {
  return FieldTexts{GetItemText(control::kHomeDirectory), GetItemText(control::kDefaultIndexFile),
                    GetItemText(control::kPort), GetItemText(control::kPersistenceTimeout)};
}

// Only a changed text is written: each write repaints the control, and an
// edit field loses the operator's cursor place.
void Win32DialogView::SetItemText(int control, const std::string& text) {
  if (GetItemText(control) == text) return;
  SetDlgItemTextA(dialog_, control, text.c_str());
  if (control == control::kPhoneAddress) FitAddressLine();
}

// A notice longer than the address line's room (advice naming a long path,
// a large font at a high DPI) makes the line and the dialog taller, so that
// all of it shows; a shorter one gives the room back.
void Win32DialogView::FitAddressLine() {
  HWND item = GetDlgItem(dialog_, control::kPhoneAddress);
  const RECT line = ControlRectInDialog(dialog_, control::kPhoneAddress);
  const std::string text = GetItemText(control::kPhoneAddress);
  HDC dc = GetDC(item);
  HGDIOBJ oldFont =
      SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(item, WM_GETFONT, 0, 0)));
  // The flags the static draws with (SS_LEFT, SS_NOPREFIX).
  RECT needed{0, 0, line.right - line.left, 0};
  DrawTextA(dc, text.c_str(), -1, &needed, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
  SelectObject(dc, oldFont);
  ReleaseDC(item, dc);
  const int height = std::max<int>(addressLineHeight_, needed.bottom - needed.top);
  if (height == line.bottom - line.top) return;
  SetWindowPos(item, nullptr, 0, 0, line.right - line.left, height,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  RECT client{};
  GetClientRect(dialog_, &client);
  RECT frame{0, 0, client.right, line.top + height + marginBelowAddressLine_};
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrA(dialog_, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrA(dialog_, GWL_EXSTYLE)));
  RECT window{};
  GetWindowRect(dialog_, &window);
  SetWindowPos(dialog_, nullptr, 0, 0, window.right - window.left, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateRect(item, nullptr, TRUE);
}

void Win32DialogView::CheckBox(int control, bool checked) {
  CheckDlgButton(dialog_, control, checked ? BST_CHECKED : BST_UNCHECKED);
}

// The squares are painted in WM_PAINT; the tick marks their rectangles and
// has them painted at once, not whenever the dialog next has nothing to do.
void Win32DialogView::RepaintIndicators(bool buttonL, bool buttonR) {
  buttonL_ = buttonL;
  buttonR_ = buttonR;
  InvalidateRect(dialog_, &indicatorRects_[0], FALSE);
  InvalidateRect(dialog_, &indicatorRects_[1], FALSE);
  UpdateWindow(dialog_);
}

std::string Win32DialogView::GetItemText(int control) {
  HWND item = GetDlgItem(dialog_, control);
  std::string text(static_cast<std::size_t>(GetWindowTextLengthA(item)) + 1, '\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextA(item, text.data(), static_cast<int>(text.size()))));
  return text;
}

void Win32DialogView::ShowMessageBox(const std::string& text, const std::string& caption) {
  MessageBoxA(dialog_, text.c_str(), caption.c_str(), MB_OK);
}

void Win32DialogView::ShowNotice(const std::string& text) {
  if (dialog_ != nullptr) SetItemText(control::kPhoneAddress, addressLine_.Notice(text));
}

void Win32DialogView::StartTimer(unsigned periodMs) {
  timer_ = SetTimer(dialog_, kTimerId, periodMs, nullptr);
}

void Win32DialogView::StopTimer() {
  KillTimer(dialog_, kTimerId);
  timer_ = 0;
}

void Win32DialogView::EndDialog(int result) {
  ::EndDialog(dialog_, result);
}

// Only the place is taken: the size the record holds was measured at the
// DPI of its day, and the template gives the right one for today's. The
// whole window stays on a monitor that is there now (the nearest one).
void Win32DialogView::ApplyPlacement(const WindowPlacementBytes& placement) {
  WINDOWPLACEMENT record{};
  std::memcpy(&record, placement.data(), sizeof record);
  RECT window{};
  GetWindowRect(dialog_, &window);
  const LONG width = window.right - window.left;
  const LONG height = window.bottom - window.top;
  RECT stored = record.rcNormalPosition;
  stored.right = stored.left + width;
  stored.bottom = stored.top + height;
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  if (!GetMonitorInfoA(MonitorFromRect(&stored, MONITOR_DEFAULTTONEAREST), &monitor)) return;
  const RECT& work = monitor.rcWork;
  const LONG left = std::max(work.left, std::min(stored.left, work.right - width));
  const LONG top = std::max(work.top, std::min(stored.top, work.bottom - height));
  SetWindowPos(dialog_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::optional<WindowPlacementBytes> Win32DialogView::CurrentPlacement() {
  WINDOWPLACEMENT record{};
  record.length = sizeof record;
  if (!GetWindowPlacement(dialog_, &record)) return std::nullopt;
  WindowPlacementBytes bytes{};
  std::memcpy(bytes.data(), &record, bytes.size());
  return bytes;
}

void Win32DialogView::ScreenSize(int& width, int& height) {
  RECT desktop{};
  GetWindowRect(GetDesktopWindow(), &desktop);
  width = desktop.right - desktop.left;
  height = desktop.bottom - desktop.top;
}

void Win32DialogView::Paint(HICON icon) {
  if (IsIconic(dialog_)) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(dialog_, &paint);
    SendMessageA(dialog_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client{};
    GetClientRect(dialog_, &client);
    const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, icon);
    EndPaint(dialog_, &paint);
    return;
  }
  PAINTSTRUCT paint;
  BeginPaint(dialog_, &paint);
  EndPaint(dialog_, &paint);
  FillIndicator(control::kButtonLIndicator, buttonL_, RGB(0, 255, 0));
  FillIndicator(control::kButtonRIndicator, buttonR_, RGB(255, 0, 0));
}

// Painted through the control's own paint context, over its client area.
void Win32DialogView::FillIndicator(int control, bool on, COLORREF onColour) {
  HWND item = GetDlgItem(dialog_, control);
  RECT client{};
  GetClientRect(item, &client);
  HDC dc = GetDC(item);
  HBRUSH brush = CreateSolidBrush(on ? onColour : kIndicatorOff);
  FillRect(dc, &client, brush);
  DeleteObject(brush);
  ReleaseDC(item, dc);
}

void Win32DialogView::ShowQrCode(const std::string& address, const QrMatrix& code) {
  qrCodeWindow_.Show(dialog_, address, code, cursorScreenArea_);
}

bool Win32DialogView::CloseQrCode() {
  if (!qrCodeWindow_.IsOpen()) return false;
  qrCodeWindow_.Close();
  return true;
}
