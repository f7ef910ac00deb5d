#include "app/pad_area.h"

void PadArea::Choose(const CursorScreen& choice) {
  choice_ = choice;
  missingMonitorLogged_ = false;
}

std::vector<platform::Monitor> PadArea::Monitors() {
  return MonitorsAsSeen(screens_.Monitors());
}

std::vector<CursorScreenChoice> PadArea::Choices() {
  return CursorScreenChoices(choice_, Monitors());
}

std::optional<platform::ScreenRect> PadArea::Apply(
    const std::function<void(const std::string&)>& log) {
  const std::vector<platform::Monitor> monitors = Monitors();
  const CursorArea area = ChooseCursorArea(choice_, monitors);
  if (area.missingMonitor && !missingMonitorLogged_) {
    log("CursorScreen " + CursorScreenText(choice_) +
        ": no such monitor; the pad covers the primary");
  }
  missingMonitorLogged_ = area.missingMonitor;
  screens_.SetCursorArea(area.rect);
  return CoveredRect(choice_, monitors);
}
