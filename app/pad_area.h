// The part of the desktop the phone's pad covers, as the operator chose it
// (CursorScreen), applied afresh to the monitors as they are: monitors come
// and go while the program runs.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/cursor_screen.h"
#include "pointer/mouse_and_keys.h"

class PadArea {
 public:
  explicit PadArea(MouseAndKeys& screens) : screens_(screens) {}

  void Choose(const CursorScreen& choice);
  const CursorScreen& Choice() const { return choice_; }
  // The monitors as the operator numbers them (MonitorsAsSeen).
  std::vector<platform::Monitor> Monitors();
  // What a "Cursor screen" menu offers, the current choice chosen.
  std::vector<CursorScreenChoice> Choices();
  // Points the cursor's events at the chosen part and returns the rectangle
  // the pad covers, where the pointer overlay lies. A chosen monitor that is
  // gone gives the primary, with one line for log until it is back.
  std::optional<platform::ScreenRect> Apply(const std::function<void(const std::string&)>& log);

 private:
  MouseAndKeys& screens_;
  CursorScreen choice_;
  bool missingMonitorLogged_ = false;
};
