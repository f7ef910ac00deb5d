// The main dialog's controls as its template lays them out: kind, id,
// caption and rectangle in dialog units, in tab order.
#pragma once

#include <span>

namespace qt_window {

enum class ControlKind {
  kGroupBox,
  kLabel,
  kSunkenLabel,  // the status line
  kAddressLine,  // two lines at the bottom: where phones go; a click shows the QR code
  kEdit,
  kButton,
  kCheckBoxTextLeft,
  kComboBox,
  kIndicator,  // a square painted in the colour of a button's state
};

struct ControlTemplate {
  ControlKind kind;
  int id;  // 0 for the frames and labels that nothing addresses
  const char* caption;
  int x, y, width, height;
  bool disabled = false;
};

inline constexpr int kDialogWidthUnits = 280;
inline constexpr int kDialogHeightUnits = 340;
inline constexpr const char* kDialogCaption = "Tolvex Handvane Server";

std::span<const ControlTemplate> DialogControls();

}  // namespace qt_window
