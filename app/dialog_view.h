// What the main dialog's logic needs from a window: its outputs in the
// dialog's own terms, by control id. A window, a console or a test implements it.
#pragma once

#include <string>

class DialogView {
 public:
  virtual ~DialogView() = default;

  virtual void SetItemText(int controlId, const std::string& text) = 0;
  virtual void CheckBox(int controlId, bool checked) = 0;
  // Repaints the ButtonL and ButtonR indicator squares at once from the
  // states the logic holds.
  virtual void RepaintIndicators() = 0;
};
