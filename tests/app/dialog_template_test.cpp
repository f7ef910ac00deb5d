// The Windows resource script and the C++ table that the Linux window is
// built from describe one dialog: each control of the one must be the
// control of the other, in the same order, styles included.
#include "app/dialog_template.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using dialog_template::ControlKind;
using dialog_template::ControlTemplate;

// The statement the script holds for a control of the table.
std::string Statement(const ControlTemplate& c) {
  const std::string id = c.id == 1 ? "IDOK" : std::to_string(c.id == 0 ? -1 : c.id);
  const std::string caption = "\"" + std::string(c.caption) + "\", ";
  const std::string rect = std::to_string(c.x) + ", " + std::to_string(c.y) + ", " +
                           std::to_string(c.width) + ", " + std::to_string(c.height);
  const std::string disabled = c.disabled ? "WS_DISABLED" : "";
  const auto with = [](std::string styles, const std::string& more) {
    return more.empty() ? styles : styles.empty() ? more : styles + " | " + more;
  };
  const auto tail = [&](const std::string& styles) {
    return styles.empty() ? rect : rect + ", " + styles;
  };
  switch (c.kind) {
    case ControlKind::kGroupBox: return "GROUPBOX " + caption + id + ", " + tail(disabled);
    case ControlKind::kLabel: return "LTEXT " + caption + id + ", " + tail(disabled);
    case ControlKind::kSunkenLabel:
      return "LTEXT " + caption + id + ", " + tail(with("SS_SUNKEN", disabled));
    case ControlKind::kAddressLine:
      return "LTEXT " + caption + id + ", " + tail(with("SS_NOTIFY | SS_NOPREFIX", disabled));
    case ControlKind::kEdit: return "EDITTEXT " + id + ", " + tail(with("ES_AUTOHSCROLL", disabled));
    case ControlKind::kButton: return "PUSHBUTTON " + caption + id + ", " + tail(disabled);
    case ControlKind::kComboBox:
      return "COMBOBOX " + id + ", " +
             tail(with("CBS_DROPDOWN | CBS_SORT | WS_VSCROLL | WS_TABSTOP", disabled));
    case ControlKind::kCheckBoxTextLeft:
      return "CONTROL " + caption + id + ", \"Button\", " +
             with("BS_AUTOCHECKBOX | BS_LEFTTEXT | WS_TABSTOP", disabled) + ", " + rect;
    case ControlKind::kIndicator:
      return "CONTROL " + caption + id + ", \"Static\", " +
             with("SS_BLACKFRAME | SS_SUNKEN", disabled) + ", " + rect;
  }
  return {};
}

TEST(DialogTemplateTest, ResourceScriptAndTableAgreeControlByControl) {
  // The script's header, then its statements up to END, continuation lines
  // joined and runs of blanks made one.
  std::ifstream file(TVX_DIALOG_SCRIPT);
  std::string header, line;
  while (std::getline(file, line) && line != "BEGIN") header += line + "\n";
  std::vector<std::string> statements;
  while (std::getline(file, line) && line != "END") {
    std::istringstream words(line);
    std::string word, joined;
    while (words >> word) joined += (joined.empty() ? "" : " ") + word;
    if (joined.empty()) continue;
    if (line.find_first_not_of(' ') == 2 || statements.empty()) {
      statements.push_back(joined);
    } else {
      statements.back() += " " + joined;
    }
  }
  const auto table = dialog_template::DialogControls();
  ASSERT_EQ(statements.size(), table.size());
  for (std::size_t i = 0; i < table.size(); ++i) {
    EXPECT_EQ(statements[i], Statement(table[i])) << "control " << i;
  }
  EXPECT_NE(header.find("DIALOGEX 0, 0, " + std::to_string(dialog_template::kDialogWidthUnits) +
                        ", " + std::to_string(dialog_template::kDialogHeightUnits)),
            std::string::npos);
  EXPECT_NE(header.find(std::string("CAPTION \"") + dialog_template::kDialogCaption + "\""),
            std::string::npos);
}

// A notice stands under the address lines until the next one, or until the
// lines change.
TEST(DialogTemplateTest, AddressLineShowsTheLastNoticeUntilTheLinesChange) {
  dialog_template::AddressLineWithNotice line;
  EXPECT_EQ(line.Notice("Can not create"), "Can not create");  // nothing shown before
  EXPECT_EQ(line.Text("Phones open A\nor B"), "Phones open A\nor B");
  EXPECT_EQ(line.Notice("Pointer 07 selected."), "Phones open A\nor B\nPointer 07 selected.");
  EXPECT_EQ(line.Text("Phones open A\nor B"), "Phones open A\nor B\nPointer 07 selected.");
  EXPECT_EQ(line.Notice("Statistics reset."), "Phones open A\nor B\nStatistics reset.");
  EXPECT_EQ(line.Text("The server is not running"), "The server is not running");
}

}  // namespace
