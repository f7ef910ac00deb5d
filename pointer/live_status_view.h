// Where the timer tick shows the live status: the dialog's controls by id.
#pragma once

#include <string>

class LiveStatusView {
 public:
  virtual ~LiveStatusView() = default;
  virtual void SetItemText(int control, const std::string& text) = 0;
  virtual void CheckBox(int control, bool checked) = 0;
  // Repaints the ButtonL and ButtonR indicator squares at once.
  virtual void RepaintIndicators(bool buttonL, bool buttonR) = 0;
};
