// The main dialog's template (102): each control's kind, id, caption and
// rectangle in dialog units, in tab order. The Linux window is built from
// it; a test holds the Windows resource script against it, control by control.
#pragma once

#include <array>
#include <span>
#include <string>

#include "app/dialog_state.h"

namespace dialog_template {

enum class ControlKind {
  kGroupBox,
  kLabel,
  kSunkenLabel,  // the status line
  kAddressLine,  // two lines at the bottom: where phones go; a click shows the QR code
  kEdit,
  kButton,
  kCheckBoxTextLeft,
  kComboBox,  // a drop-down list; its height includes the opened list
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

// Which control shows which text of the state, for the windows' Render: the
// status line, the live status and the statistics in the order the tick has
// always written them, then the address lines.
struct ControlText {
  int id;
  const std::string& text;
};
std::array<ControlText, 10> ShownTexts(const DialogState& state);

// The address line of a window: the state's address lines with the last
// notice under them, until the next notice or until the lines change (a
// start or a stop, which bring their own notice). The lines keep their place
// at the top; a notice longer than the room left is cut off at the bottom.
class AddressLineWithNotice {
 public:
  // The text for the state's address lines.
  const std::string& Text(const std::string& addressText);
  // The text with notice under the lines given last.
  const std::string& Notice(const std::string& notice);

 private:
  const std::string& Compose();

  std::string addressText_;
  std::string notice_;
  std::string text_;
};

// The settings fields as their edit controls show them, and back.
struct FieldText {
  int id;
  std::string text;
};
std::array<FieldText, 4> FieldControlTexts(const ServerFields& fields);

}  // namespace dialog_template
