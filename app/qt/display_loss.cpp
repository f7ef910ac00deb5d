#include "app/qt/display_loss.h"

#include <QString>
#include <QtGlobal>
#include <atomic>
#include <thread>

namespace {

// What Qt's xcb platform says, from its own check of the connection and
// from its Xlib I/O error handler alike, just before it calls exit.
constexpr char kConnectionBroke[] = "The X11 connection broke";

QtMessageHandler previousHandler = nullptr;
void (*handOverTo)() = nullptr;
std::thread::id guiThread;
std::atomic<bool> handedOver{false};

void OnQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (previousHandler != nullptr) previousHandler(type, context, message);
  const bool lost = type == QtWarningMsg && message.startsWith(QLatin1String(kConnectionBroke));
  if (lost && std::this_thread::get_id() == guiThread && !handedOver.exchange(true)) {
    handOverTo();
  }
}

}  // namespace

void CatchDisplayLoss(void (*handOver)()) {
  handOverTo = handOver;
  guiThread = std::this_thread::get_id();
  previousHandler = qInstallMessageHandler(OnQtMessage);
}
