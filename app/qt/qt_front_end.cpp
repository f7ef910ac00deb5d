// The window front end on Linux desktops: the dialog in a Qt window when
// an X or Wayland display is there.
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <atomic>
#include <cstdlib>

#include "app/application.h"
#include "app/server_session.h"
#include "app/welcome.h"
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
// The session's end arrives the same way (SIGTERM or SIGHUP).
constexpr int kInterruptPollMs = 100;

// Closes the message boxes that are open, as their OK button does; false
// when there was none. A box runs an event loop of its own, in which the
// poll goes on.
bool CloseMessageBoxes() {
  bool closed = false;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* box = qobject_cast<QMessageBox*>(widget);
    if (box == nullptr || !box->isVisible()) continue;
    box->done(QMessageBox::Ok);
    closed = true;
  }
  return closed;
}

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
  ServerSession session(app, mouse);
  MainDialog dialog(session, view, mouse);
  view.Connect(dialog);

  // Polled from the start: a message box during the start-up (a second
  // copy's) must not keep the program from ending either. An open box is
  // closed first; the dialog ends at the next poll, once the code that
  // showed the box has gone on.
  bool endRequested = false;
  bool running = false;
  QTimer interruptPoll;
  QObject::connect(&interruptPoll, &QTimer::timeout, [&] {
    if (interrupted.exchange(false)) endRequested = true;
    if (!endRequested || CloseMessageBoxes() || !running) return;
    interruptPoll.stop();
    dialog.OnCancel();
  });
  interruptPoll.start(kInterruptPollMs);

  if (!dialog.OnInitDialog()) {
    dialog.OnDestroy();
    return 1;
  }
  PrintWelcome(app, false);  // the window takes no commands from the shell
  if (endRequested || interrupted) {
    dialog.OnCancel();
    dialog.OnDestroy();
    return 0;
  }
  running = true;
  view.Exec();
  dialog.OnDestroy();  // the window's destruction: the shutdown sequence again
  return 0;
}
