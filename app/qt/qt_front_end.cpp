// The window front end on Linux desktops: the dialog in a Qt window when
// an X or Wayland display is there.
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "app/application.h"
#include "app/console/console_front_end.h"
#include "app/console/console_view.h"
#include "app/server_session.h"
#include "app/welcome.h"
#include "app/main_dialog.h"
#include "app/qt/display_loss.h"
#include "app/qt/qt_dialog_view.h"
#include "app/qt/relay_view.h"
#include "app/window_front_end.h"
#include "platform/console.h"
#include "platform/process.h"
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

// The running dialog and its view, for the hand-over to the console.
MainDialog* runningDialog = nullptr;
RelayView* runningView = nullptr;

// The display went away under the window: the server, the shared memory
// and the protocol run on their own threads and stay as they are; the
// dialog goes on in the console on this thread, which never returns into
// Qt (its objects are never touched again), until the console's end.
[[noreturn]] void GoOnInConsole() {
  static ConsoleView console(stdout);
  runningView->SwitchTo(console);
  std::printf("The display went away: TVXHandvane goes on in the console. "
              "Type help for the commands.\n");
  std::fflush(stdout);
  platform::EndProcess(RunConsoleCommands(*runningDialog, console));
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

  QtDialogView window;
  RelayView view(window);
  SystemMouseAndKeys mouse;
  ServerSession session(app, mouse);
  MainDialog dialog(session, view, mouse);
  window.Connect(dialog);

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
  runningDialog = &dialog;
  runningView = &view;
  CatchDisplayLoss(GoOnInConsole);
  window.Exec();
  dialog.OnDestroy();  // the window's destruction: the shutdown sequence again
  return 0;
}
