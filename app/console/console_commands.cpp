#include "app/console/console_commands.h"

#include <cctype>
#include <cstdio>
#include <vector>

#include "app/console/console_view.h"
#include "app/dialog_controls.h"
#include "app/main_dialog.h"
#include "common/ini_values.h"
#include "common/pointer_limits.h"

namespace {

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

std::vector<std::string> Words(std::string_view line) {
  std::vector<std::string> words;
  std::size_t at = 0;
  while (at < line.size()) {
    while (at < line.size() && std::isspace(static_cast<unsigned char>(line[at]))) ++at;
    const std::size_t start = at;
    while (at < line.size() && !std::isspace(static_cast<unsigned char>(line[at]))) ++at;
    if (at > start) words.emplace_back(line.substr(start, at - start));
  }
  return words;
}

constexpr const char* kVibrateNames[] = {"short-single", "normal-single", "long-single",
                                         "short-double", "normal-double", "long-double"};

bool SelectPointer(const std::string& word, MainDialog& dialog, ConsoleView& view) {
  int pointer = -1;
  if (word.empty() || !std::isdigit(static_cast<unsigned char>(word[0])) ||
      !ParseLeadingInteger(word, pointer) || !IsValidPointer(pointer)) {
    view.ShowMessageBox("Pointer must be a number from 0 to 79", "");
    return false;
  }
  view.SelectPointerEntry(pointer);
  dialog.OnPointerSelected();
  return true;
}

}  // namespace

int VibrateCodeFor(std::string_view word) {
  const std::string lower = Lower(word);
  for (int i = 0; i < 6; ++i) {
    char code[3];
    std::snprintf(code, sizeof code, "a%d", i);
    if (lower == kVibrateNames[i] || lower == code) return 0xA0 + i;
  }
  return 0;
}

std::string ConsoleHelpText() {
  return "Commands: start | stop | reset | reread | select N (0-79) | "
         "vibrate short-single|normal-single|long-single|short-double|normal-double|"
         "long-double|A0-A5 | emulate on|off | status | exit | quit | help";
}

CommandResult RunConsoleCommand(std::string_view line, MainDialog& dialog, ConsoleView& view) {
  const std::vector<std::string> words = Words(line);
  if (words.empty()) return CommandResult::kDone;
  const std::string command = Lower(words[0]);
  const std::string argument = words.size() > 1 ? Lower(words[1]) : std::string();

  if (command == "start") {
    dialog.OnStart();
  } else if (command == "stop") {
    dialog.OnStop();
  } else if (command == "reset") {
    dialog.OnReset();
  } else if (command == "reread") {
    dialog.OnReReadFiles();
  } else if (command == "select") {
    SelectPointer(argument, dialog, view);
  } else if (command == "vibrate") {
    const int code = VibrateCodeFor(argument);
    if (code == 0) {
      view.ShowMessageBox("Unknown vibration: " + argument, "");
    } else {
      dialog.OnVibrate(code);
    }
  } else if (command == "emulate" && (argument == "on" || argument == "off")) {
    view.CheckBox(control::kCursorEmulation, argument == "on");
    dialog.OnCursorEmulationClicked(argument == "on");
  } else if (command == "status") {
    view.ShowMessageBox(view.StatusLine(), "");
  } else if (command == "exit" || command == "quit") {
    dialog.OnOK();
    return CommandResult::kExit;
  } else if (command == "help") {
    view.ShowMessageBox(ConsoleHelpText(), "");
  } else {
    view.ShowMessageBox("Unknown command: " + words[0], "");
    return CommandResult::kUnknown;
  }
  return CommandResult::kDone;
}
