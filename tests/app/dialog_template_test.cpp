// The Windows resource script and the C++ table that the Linux window is
// built from describe one dialog: each control of the one must be the
// control of the other, in the same order.
#include "app/dialog_template.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using dialog_template::ControlKind;

struct ScriptControl {
  ControlKind kind;
  int id;
  std::string caption;
  int x, y, width, height;
  bool disabled;
};

std::string Trim(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  const std::size_t last = text.find_last_not_of(" \t\r");
  return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

// Splits at the commas outside quotes; quoted texts lose their quotes.
std::vector<std::string> Fields(const std::string& text) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (char c : text) {
    if (c == '"') {
      quoted = !quoted;
    } else if (c == ',' && !quoted) {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  for (std::string& field : fields) field = Trim(field);
  return fields;
}

int IdOf(const std::string& field) {
  if (field == "IDOK") return 1;
  const int id = std::atoi(field.c_str());
  return id < 0 ? 0 : id;
}

bool Has(const std::string& styles, const char* style) {
  return styles.find(style) != std::string::npos;
}

// One statement of the script: its keyword and what follows, continuation
// lines joined.
ScriptControl Parse(const std::string& keyword, const std::string& rest) {
  std::vector<std::string> f = Fields(rest);
  if (keyword == "EDITTEXT" || keyword == "COMBOBOX") f.insert(f.begin(), "");
  ScriptControl control{};
  control.caption = f[0];
  control.id = IdOf(f[1]);
  std::size_t at = 2;
  std::string styles;
  if (keyword == "CONTROL") {
    styles = f[3] + "|" + f[2];  // class, then styles
    at = 4;
  }
  control.x = std::atoi(f[at].c_str());
  control.y = std::atoi(f[at + 1].c_str());
  control.width = std::atoi(f[at + 2].c_str());
  control.height = std::atoi(f[at + 3].c_str());
  if (f.size() > at + 4) styles += "|" + f[at + 4];
  control.disabled = Has(styles, "WS_DISABLED");
  if (keyword == "GROUPBOX") control.kind = ControlKind::kGroupBox;
  if (keyword == "EDITTEXT") control.kind = ControlKind::kEdit;
  if (keyword == "PUSHBUTTON") control.kind = ControlKind::kButton;
  if (keyword == "COMBOBOX") control.kind = ControlKind::kComboBox;
  if (keyword == "LTEXT") {
    control.kind = Has(styles, "SS_SUNKEN")   ? ControlKind::kSunkenLabel
                   : Has(styles, "SS_NOTIFY") ? ControlKind::kAddressLine
                                              : ControlKind::kLabel;
  }
  if (keyword == "CONTROL") {
    control.kind = Has(styles, "BS_AUTOCHECKBOX") && Has(styles, "BS_LEFTTEXT")
                       ? ControlKind::kCheckBoxTextLeft
                       : ControlKind::kIndicator;
  }
  return control;
}

struct Script {
  std::string header;  // everything before BEGIN
  std::vector<ScriptControl> controls;
};

Script ReadScript() {
  std::ifstream file(TVX_DIALOG_SCRIPT);
  Script script;
  std::string line;
  while (std::getline(file, line) && Trim(line) != "BEGIN") script.header += line + "\n";
  std::string keyword;
  std::string rest;
  const auto flush = [&] {
    if (!keyword.empty()) script.controls.push_back(Parse(keyword, rest));
    keyword.clear();
    rest.clear();
  };
  while (std::getline(file, line) && Trim(line) != "END") {
    const std::string text = Trim(line);
    if (text.empty()) continue;
    const std::size_t space = text.find_first_of(" \t");
    const std::string first = text.substr(0, space);
    if (first == "GROUPBOX" || first == "LTEXT" || first == "EDITTEXT" || first == "PUSHBUTTON" ||
        first == "COMBOBOX" || first == "CONTROL") {
      flush();
      keyword = first;
      rest = Trim(text.substr(space));
    } else {
      rest += " " + text;
    }
  }
  flush();
  return script;
}

TEST(DialogTemplateTest, ResourceScriptAndTableAgreeControlByControl) {
  const Script script = ReadScript();
  const auto table = dialog_template::DialogControls();
  ASSERT_EQ(script.controls.size(), table.size());
  for (std::size_t i = 0; i < table.size(); ++i) {
    const dialog_template::ControlTemplate& want = table[i];
    const ScriptControl& got = script.controls[i];
    SCOPED_TRACE("control " + std::to_string(i) + " \"" + want.caption + "\"");
    EXPECT_EQ(static_cast<int>(got.kind), static_cast<int>(want.kind));
    EXPECT_EQ(got.id, want.id);
    EXPECT_EQ(got.caption, want.caption);
    EXPECT_EQ(got.x, want.x);
    EXPECT_EQ(got.y, want.y);
    EXPECT_EQ(got.width, want.width);
    EXPECT_EQ(got.height, want.height);
    EXPECT_EQ(got.disabled, want.disabled);
  }
  std::ostringstream size;
  size << "DIALOGEX 0, 0, " << dialog_template::kDialogWidthUnits << ", "
       << dialog_template::kDialogHeightUnits;
  EXPECT_NE(script.header.find(size.str()), std::string::npos);
  EXPECT_NE(script.header.find(std::string("CAPTION \"") + dialog_template::kDialogCaption + "\""),
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
