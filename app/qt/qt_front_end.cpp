// The window front end on Linux desktops: the dialog in a Qt window when
// an X or Wayland display is there.
#include <QApplication>
#include <QTimer>
#include <atomic>
#include <cstdlib>

#include "app/application.h"
#include "app/console/console_front_end.h"
#include "app/main_dialog.h"
#include "app/qt/qt_dialog_view.h"
#include "app/window_front_end.h"
#include "platform/console.h"
#include "pointer/mouse_and_keys.h"

namespace {

std::atomic<bool> interrupted{false};

void OnInterrupt() {
  interrupted = true;
}

bool IsSet(const char* variable) {
  const char* value = std::getenv(variable);
  return value != nullptr && *value != '\0';
}

// Ctrl+C or SIGTERM in the shell that started the program ends it the way
// the close box does, so the server stops and the shared memory goes away.
constexpr int kInterruptPollMs = 100;

}  // namespace

bool CanShowWindow() {
  return IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY");
}

int RunWindowFrontEnd(Application& app) {
  platform::OnInterrupt(OnInterrupt);
  int argc = 1;
  char programName[] = "TVXHandvane";
  char* argv[] = {programName, nullptr};
  QApplication qtApplication(argc, argv);

  QtDialogView view;
  SystemMouseAndKeys mouse;
  MainDialog dialog(app, view, mouse);
  view.Connect(dialog);
  if (!dialog.OnInitDialog()) {
    dialog.OnDestroy();
    return 1;
  }
  PrintWelcome(app, false);  // the window takes no commands from the shell

  QTimer interruptPoll;
  QObject::connect(&interruptPoll, &QTimer::timeout, [&dialog] {
    if (interrupted.exchange(false)) dialog.OnCancel();
  });
  interruptPoll.start(kInterruptPollMs);
  view.Exec();
  dialog.OnDestroy();  // the window's destruction: the shutdown sequence again
  return 0;
}
