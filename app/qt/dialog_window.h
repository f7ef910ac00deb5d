// The dialog's top-level window. It turns the ways out into the dialog's
// own: Enter is Exit unless a push button has the focus (no button is the
// default), the close box is Cancel, Escape is the dialog's to decide.
#pragma once

#include <QDialog>
#include <functional>

namespace qt_window {

class DialogWindow final : public QDialog {
 public:
  DialogWindow();

  std::function<void()> onOk;
  std::function<void()> onCancel;
  std::function<void()> onEscape;

  bool HasBeenShown() const { return hasBeenShown_; }

  void accept() override;
  void reject() override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  bool hasBeenShown_ = false;
};

}  // namespace qt_window
