// The dialog procedure: each message goes to MainDialog through the view.
#include <windows.h>

#include <memory>
#include <optional>

#include "app/application.h"
#include "app/dialog_controls.h"
#include "app/main_dialog.h"
#include "app/server_session.h"
#include "app/win32/name_prompt.h"
#include "app/win32/win32_dialog_view.h"
#include "app/window_front_end.h"
#include "pointer/vibrations.h"

namespace {

constexpr int kDialogTemplate = 102;
constexpr int kProgramIcon = 128;

// What the dialog procedure reaches through the window's user data.
struct DialogWindow {
  Win32DialogView view;
  SystemMouseAndKeys mouse;
  std::unique_ptr<ServerSession> session;
  std::unique_ptr<MainDialog> dialog;
  HICON bigIcon = nullptr;
  HICON smallIcon = nullptr;
  bool refused = false;  // the start failed: a second copy, say
};

HICON LoadProgramIcon(int size) {
  return static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kProgramIcon),
                                       IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

void OnInitDialog(HWND hwnd, DialogWindow& window) {
  SetWindowLongPtrA(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(&window));
  window.view.Attach(hwnd);
  SendMessageA(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(window.bigIcon));
  SendMessageA(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(window.smallIcon));
  // On failure it has ended the dialog itself; the exit code tells the
  // caller (a script starting a second copy, say) that it did not run.
  window.refused = !window.dialog->OnInitDialog();
}

// The widgets' events as the dialog's intents.
void OnCommand(DialogIntents& dialog, HWND hwnd, int control, int code) {
  if (control == control::kPointerList) {
    // Entry n of the sorted list is pointer n.
    const LRESULT entry = SendDlgItemMessageA(hwnd, control, CB_GETCURSEL, 0, 0);
    if (code == CBN_SELCHANGE && entry != CB_ERR) dialog.SelectPointer(static_cast<int>(entry));
    return;
  }
  if (control == control::kPhoneAddress) {
    // The second press of a double click lands on the dialog and makes it
    // the active window again: the code's window is shown afresh, and takes
    // the keyboard back.
    if (code == STN_CLICKED || code == STN_DBLCLK) dialog.ShowPhoneAddressCode();
    return;
  }
  if (code != BN_CLICKED) return;
  switch (control) {
    case IDOK:
      dialog.OnOK();
      return;
    case IDCANCEL:
      // Escape; the close box comes as WM_CLOSE.
      dialog.OnEscape();
      return;
    case control::kStart:
      dialog.Start();
      return;
    case control::kStop:
      dialog.Stop();
      return;
    case control::kReset:
      dialog.Reset();
      return;
    case control::kBrowse:
      dialog.BrowseForHomeDirectory();
      return;
    case control::kReReadFiles:
      dialog.ReloadPage();
      return;
    case control::kCursorEmulation:
      dialog.SetCursorEmulation(IsDlgButtonChecked(hwnd, control) == BST_CHECKED);
      return;
    default:
      if (control >= control::kVibrateShortSingle && control <= control::kVibrateLongDouble) {
        dialog.Vibrate(kVibrations[control - control::kVibrateShortSingle].code);
      }
  }
}

// The system menu's own entries; false for any other command.
bool OnMenuCommand(MainDialog& dialog, HWND window, UINT command) {
  if (command == Win32DialogView::kShowPointersCommand) {
    dialog.SetPointerOverlay(!dialog.State().showPointers);
    return true;
  }
  if (command == Win32DialogView::kShowNamesCommand) {
    dialog.SetPointerLabels(dialog.State().labels == PointerLabels::kNames ? PointerLabels::kNumbers
                                                                          : PointerLabels::kNames);
    return true;
  }
  if (command == Win32DialogView::kRenameCommand) {
    const DialogState& state = dialog.State();
    const int pointer = state.selectedPointer;
    const std::string& label = state.pointerLabels[static_cast<std::size_t>(pointer)];
    // "17 Mia": the name follows the number and its space.
    const std::optional<std::string> name =
        AskForPointerName(window, pointer, label.size() > 3 ? label.substr(3) : std::string());
    if (name) dialog.RenamePointer(pointer, *name);
    return true;
  }
  if (command == Win32DialogView::kFreeNumberCommand) {
    dialog.FreeNumber(dialog.State().selectedPointer);
    return true;
  }
  const std::optional<CursorScreen> screen = Win32DialogView::CursorScreenOfCommand(command);
  if (!screen) return false;
  dialog.SetCursorScreen(*screen);
  return true;
}

INT_PTR CALLBACK DialogProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    OnInitDialog(hwnd, *reinterpret_cast<DialogWindow*>(lParam));
    return TRUE;
  }
  auto* window = reinterpret_cast<DialogWindow*>(GetWindowLongPtrA(hwnd, DWLP_USER));
  if (window == nullptr) return FALSE;
  MainDialog& dialog = *window->dialog;
  switch (message) {
    case WM_COMMAND:
      // Wine sends a system submenu's entries as WM_COMMAND (lParam 0: a menu).
      if (lParam == 0 && OnMenuCommand(dialog, hwnd, LOWORD(wParam))) return TRUE;
      OnCommand(dialog, hwnd, LOWORD(wParam), HIWORD(wParam));
      return TRUE;
    case WM_CLOSE:
      dialog.OnCancel();
      return TRUE;
    case WM_TIMER:
      dialog.Tick();
      return TRUE;
    case WM_SYSCOMMAND:
      return OnMenuCommand(dialog, hwnd, static_cast<UINT>(wParam & 0xFFF0)) ? TRUE : FALSE;
    case WM_INITMENUPOPUP:
      // The monitors as they are when the menu opens.
      if (reinterpret_cast<HMENU>(wParam) == window->view.CursorScreenMenu() || HIWORD(lParam)) {
        window->view.FillCursorScreenMenu(dialog.CursorScreenChoices());
      }
      return FALSE;
    case WM_DISPLAYCHANGE:
      dialog.MonitorsChanged();
      return FALSE;
    case WM_PAINT:
      window->view.Paint(window->bigIcon);
      return TRUE;
    case WM_QUERYENDSESSION:
      SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, TRUE);
      return TRUE;
    case WM_ENDSESSION:
      // The process ends once this returns: nothing may be left for later.
      if (wParam) dialog.OnEndSession();
      return TRUE;
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(window->bigIcon);
    case WM_DESTROY:
      dialog.OnDestroy();
      SetWindowLongPtrA(hwnd, DWLP_USER, 0);
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

bool CanShowWindow() {
  return true;
}

int RunWindowFrontEnd(Application& app) {
  DialogWindow window;
  window.session = std::make_unique<ServerSession>(app, window.mouse);
  window.dialog = std::make_unique<MainDialog>(*window.session, window.view, window.mouse);
  window.view.ConnectPointerOverlay(
      [&window](PointerSightings& sightings) { window.dialog->ReadPointerSightings(sightings); });
  window.bigIcon = LoadProgramIcon(GetSystemMetrics(SM_CXICON));
  window.smallIcon = LoadProgramIcon(GetSystemMetrics(SM_CXSMICON));
  const INT_PTR result =
      DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kDialogTemplate), nullptr,
                      DialogProcedure, reinterpret_cast<LPARAM>(&window));
  if (window.smallIcon != nullptr) DestroyIcon(window.smallIcon);
  if (window.bigIcon != nullptr) DestroyIcon(window.bigIcon);
  return result == -1 || window.refused ? 1 : 0;
}
