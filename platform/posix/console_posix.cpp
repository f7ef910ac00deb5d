#include "platform/console.h"

#include <signal.h>
#include <unistd.h>

namespace platform {
namespace {

void (*interruptHandler)() = nullptr;

void OnSignal(int) {
  if (interruptHandler != nullptr) interruptHandler();
}

}  // namespace

void OnInterrupt(void (*handler)()) {
  interruptHandler = handler;
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
}

void OpenConsole() {}

void OnSessionEnd(void (*)()) {}

bool IsTerminal(std::FILE* stream) {
  return isatty(fileno(stream)) == 1;
}

// Terminals here take UTF-8 already.
void UseUtf8Output() {}

}  // namespace platform
