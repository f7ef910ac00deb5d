// The main dialog in a Qt Widgets window: the template's controls, timer 1,
// modal message boxes and the folder picker. It shows what MainDialog
// decides and hands every click, key and tick straight to it.
#pragma once

#include <QTimer>
#include <map>
#include <memory>

#include "app/dialog_view.h"

class MainDialog;
class QComboBox;
class QDialog;
class QWidget;

namespace qt_window {
class DialogWindow;
class IndicatorBox;
}  // namespace qt_window

class QtDialogView final : public DialogView {
 public:
  QtDialogView();
  ~QtDialogView() override;

  QtDialogView(const QtDialogView&) = delete;
  QtDialogView& operator=(const QtDialogView&) = delete;

  // Routes the controls, the timer and the ways out to the dialog.
  void Connect(MainDialog& dialog);
  // Shows the window modally until the dialog ends; returns its result.
  int Exec();

  QDialog& Window();
  // The control with that id, or nullptr.
  QWidget* Control(int id) const;

  // DialogView
  void SetItemText(int control, const std::string& text) override;
  void CheckBox(int control, bool checked) override;
  void RepaintIndicators(bool buttonL, bool buttonR) override;
  std::string GetItemText(int control) override;
  void ShowMessageBox(const std::string& text, const std::string& caption) override;
  void AddPointerEntry(const std::string& text) override;
  void SelectPointerEntry(int index) override;
  std::string SelectedPointerEntry() override;
  void StartTimer(unsigned periodMs) override;
  void StopTimer() override;
  void EndDialog(int result) override;
  void ApplyPlacement(const WindowPlacementBytes& placement) override;
  std::optional<WindowPlacementBytes> CurrentPlacement() override;
  void ScreenSize(int& width, int& height) override;
  std::optional<std::string> ChooseFolder(const std::string& title) override;

 private:
  void BuildControls();

  std::unique_ptr<qt_window::DialogWindow> window_;
  std::map<int, QWidget*> controls_;  // owned by the window
  QComboBox* pointerList_ = nullptr;
  qt_window::IndicatorBox* buttonLIndicator_ = nullptr;
  qt_window::IndicatorBox* buttonRIndicator_ = nullptr;
  QTimer timer_;
};
