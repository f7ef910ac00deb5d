#include "app/qt/dialog_window.h"

#include <QKeyEvent>
#include <QPushButton>

namespace qt_window {

DialogWindow::DialogWindow()
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint) {}

void DialogWindow::accept() {
  if (onOk) onOk();
}

void DialogWindow::reject() {
  if (onCancel) onCancel();
}

void DialogWindow::keyPressEvent(QKeyEvent* event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  const bool plain = event->modifiers() == Qt::NoModifier ||
                     (event->modifiers() == Qt::KeypadModifier && event->key() == Qt::Key_Enter);
  if (event->key() == Qt::Key_Escape && onEscape) {
    onEscape();
    return;
  }
  if (!enter || !plain) {
    QDialog::keyPressEvent(event);
    return;
  }
  if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
    button->click();
  } else {
    accept();
  }
}

void DialogWindow::showEvent(QShowEvent* event) {
  hasBeenShown_ = true;
  QDialog::showEvent(event);
}

}  // namespace qt_window
