#include "platform/console.h"

#include <io.h>
#include <windows.h>

namespace platform {
namespace {

void (*interruptHandler)() = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      if (interruptHandler != nullptr) interruptHandler();
      // A closing console ends the process when this returns: give the
      // front end time to run its shutdown first.
      if (event == CTRL_CLOSE_EVENT || event == CTRL_SHUTDOWN_EVENT) Sleep(4000);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void OnInterrupt(void (*handler)()) {
  interruptHandler = handler;
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool IsTerminal(std::FILE* stream) {
  return _isatty(_fileno(stream)) != 0;
}

void UseUtf8Output() {
  SetConsoleOutputCP(CP_UTF8);
  // Colour escapes: the QR code sets its own dark-on-light colours.
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (GetConsoleMode(output, &mode)) {
    SetConsoleMode(output, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
  }
}

}  // namespace platform
