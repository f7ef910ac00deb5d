// The session's end for a console program: Windows tells it only to
// top-level windows (a program that uses windows gets no console logoff
// event), so a hidden one listens on a thread of its own.
#include <windows.h>

#include "platform/console.h"

namespace platform {
namespace {

constexpr DWORD kShutdownAllowanceMs = 5000;

void (*sessionEndHandler)() = nullptr;

LRESULT CALLBACK ListenerProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_QUERYENDSESSION) return TRUE;
  if (message == WM_ENDSESSION && wParam && sessionEndHandler != nullptr) {
    sessionEndHandler();
    // The process is ended once this returns; the front end ends it sooner
    // when its shutdown is done.
    Sleep(kShutdownAllowanceMs);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

DWORD WINAPI ListenerThread(LPVOID) {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = ListenerProcedure;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "TVXHandvaneSessionEnd";
  if (RegisterClassA(&windowClass) == 0) return 1;
  // Not a message-only window: those get no broadcasts.
  HWND window = CreateWindowExA(0, windowClass.lpszClassName, "", WS_POPUP, 0, 0, 0, 0, nullptr,
                                nullptr, windowClass.hInstance, nullptr);
  if (window == nullptr) return 1;
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
  return 0;
}

}  // namespace

void OnSessionEnd(void (*handler)()) {
  sessionEndHandler = handler;
  HANDLE thread = CreateThread(nullptr, 0, ListenerThread, nullptr, 0, nullptr);
  if (thread != nullptr) CloseHandle(thread);
}

}  // namespace platform
