#include "app/console/console_commands.h"

#include <cctype>
#include <cstdio>
#include <optional>
#include <vector>

#include "app/console/console_view.h"
#include "app/cursor_screen.h"
#include "app/dialog_intents.h"
#include "common/ascii.h"
#include "common/number_text.h"
#include "common/pointer_limits.h"
#include "pointer/vibrations.h"

namespace {

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

// The line after its first two words, without the spaces around it.
std::string_view RestAfterTwoWords(std::string_view line) {
  const auto isSpace = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  std::size_t at = 0;
  for (int word = 0; word < 2; ++word) {
    while (at < line.size() && isSpace(line[at])) ++at;
    while (at < line.size() && !isSpace(line[at])) ++at;
  }
  while (at < line.size() && isSpace(line[at])) ++at;
  std::size_t end = line.size();
  while (end > at && isSpace(line[end - 1])) --end;
  return line.substr(at, end - at);
}

struct Command;

constexpr int kAtMostOne = -1;
constexpr int kAtLeastOne = -2;

// What a command's handler gets: its own row, the words as typed and the
// second word lower-cased.
struct CommandCall {
  const Command& command;
  const std::vector<std::string>& words;
  const std::string& argument;
  // What follows the second word as typed, spaces inside kept.
  std::string_view rest;
  DialogIntents& dialog;
  ConsoleView& view;
};

using CommandHandler = CommandResult (*)(const CommandCall& call);

struct Command {
  const char* name;
  const char* usage;
  int arguments;  // words after the name; kAtMostOne: none or one
  const char* explanation;
  CommandHandler handler;
};

CommandResult Start(const CommandCall& call);
CommandResult Stop(const CommandCall& call);
CommandResult Reset(const CommandCall& call);
CommandResult Reread(const CommandCall& call);
CommandResult Select(const CommandCall& call);
CommandResult Vibrate(const CommandCall& call);
CommandResult Emulate(const CommandCall& call);
CommandResult Show(const CommandCall& call);
CommandResult Screen(const CommandCall& call);
CommandResult Labels(const CommandCall& call);
CommandResult Name(const CommandCall& call);
CommandResult Free(const CommandCall& call);
CommandResult List(const CommandCall& call);
CommandResult Status(const CommandCall& call);
CommandResult Help(const CommandCall& call);
CommandResult Exit(const CommandCall& call);

constexpr Command kCommands[] = {
    {"start", "start", 0, "starts the server on Port under [Control] in the INI beside the program",
     Start},
    {"stop", "stop", 0, "stops the server; phones cannot report until the next start", Stop},
    {"reset", "reset", 0, "stops the server, zeroes the statistics and starts it again", Reset},
    {"reread", "reread", 0,
     "reloads the phone page and its texts (the .TXT and .LNG beside the program) while it runs",
     Reread},
    {"select", "select N", 1,
     "selects pointer N (0 to 79): its reports drive the cursor and it gets the vibrations",
     Select},
    {"vibrate", "vibrate PATTERN", 1, nullptr, Vibrate},
    {"emulate", "emulate on|off", 1,
     "lets the selected pointer move the PC's cursor and press its buttons (needs a display); "
     "holding Ctrl+Shift switches it off",
     Emulate},
    {"show", "show on|off", 1,
     "shows every pointer that reported in the last 5 seconds as a numbered dot over the "
     "screen (needs the window)",
     Show},
    {"screen", "screen [N|primary|all]", kAtMostOne,
     "lists the monitors with number, size and place; with a word, the pad covers monitor N "
     "(numbered left to right, then top to bottom), the primary or the whole desktop",
     Screen},
    {"labels", "labels numbers|names", 1,
     "shows the pointers by number only, or by number and the name the phone gave (\"17 Mia\") "
     "in the list, the dialog and the overlay",
     Labels},
    {"name", "name N [NAME]", kAtLeastOne,
     "gives pointer N a name, up to 24 characters; without one its name goes", Name},
    {"free", "free N", 1,
     "frees number N: its phone is told to pick another number, and its name goes", Free},
    {"list", "list", 0,
     "lists the pointers that reported in the last second with X, Y and buttons; "
     "* marks the selected one, \"two phones\" one that two addresses reported on",
     List},
    {"status", "status", 0,
     "one line with the server's state, its statistics and the selected "
     "pointer's state (fields below)",
     Status},
    {"help", "help", 0, "this text", Help},
    {"exit", "exit", 0, "saves the settings, stops the server and ends the program", Exit},
    {"quit", "quit", 0, "the same as exit", Exit},
};

constexpr const char* kStatusFields =
    "Fields of status:\n"
    "  Status        Working... once started (also when the start failed: the line after the\n"
    "                start says whether it runs), Stopped. after stop.\n"
    "  Active Conn.  connections open right now. A phone's browser keeps its connection\n"
    "                open while it reports: about one per reporting phone.\n"
    "  Requests      connections accepted since the last start or reset; a phone's reports\n"
    "                come on the one connection, so they count once.\n"
    "  KB Sent, KB Received  traffic since the last start or reset.\n"
    "  Visitors      distinct phone addresses served since the program started (65536+\n"
    "                once it stopped counting); \"3 refused\": phones without the key.\n"
    "  Requests/Sec  connections accepted in the last second; near 0 while the phones keep\n"
    "                theirs.\n"
    "  X, Y          the selected pointer's position, 0 to 65535 across the phone's pad.\n"
    "  ButtonL, ButtonR  its buttons, 1 while held.\n"
    "  Off-Screen    1 while no finger is on its pad or it has been silent for a second.\n"
    "  Pointer       the selected pointer; Cursor: whether cursor emulation is on.\n"
    "  Refused       with an access key: reports refused since the program started because\n"
    "                they lacked the key.";

const Command* FindCommand(const std::string& name) {
  for (const Command& command : kCommands) {
    if (name == command.name) return &command;
  }
  return nullptr;
}

// The vibration patterns spelled out, for the usage line.
std::string UsageOf(const Command& command) {
  if (std::string_view(command.name) != "vibrate") return command.usage;
  std::string usage = "vibrate ";
  for (const Vibration& vibration : kVibrations) usage += std::string(vibration.word) + "|";
  return usage + "A0..A5";
}

// "queues a vibration ...; PATTERN is short-single, ... or long-double, or A0 to A5 in that order"
std::string VibrateExplanation() {
  std::string text = "queues a vibration for the selected pointer; PATTERN is ";
  const std::size_t count = std::size(kVibrations);
  for (std::size_t i = 0; i < count; ++i) {
    text += kVibrations[i].word;
    text += i + 2 < count ? ", " : i + 2 == count ? " or " : "";
  }
  return text + ", or A0 to A5 in that order";
}

std::string ExplanationOf(const Command& command) {
  return command.explanation != nullptr ? command.explanation : VibrateExplanation();
}

// "Status: ... | Cursor: on|off", the fields in the dialog's order.
std::string StatusLine(const DialogState& state) {
  const DialogStatistics& stats = state.statistics;
  const DialogLiveStatus& live = state.live;
  std::string line = "Status: " + state.statusText + " | Active Conn.: " + stats.activeConnections +
                     " | Requests: " + stats.requests + " | KB Sent: " + stats.kbSent +
                     " | KB Received: " + stats.kbReceived + " | Visitors: " + stats.visitors +
                     " | Requests/Sec: " + stats.requestsPerSecond + " | X: " + live.x +
                     " | Y: " + live.y + " | ButtonL: " + (live.buttonL ? "1" : "0") +
                     " | ButtonR: " + (live.buttonR ? "1" : "0") +
                     " | Off-Screen: " + (live.offScreen ? "1" : "0") +
                     " | Pointer: " + TwoDigits(state.selectedPointer) +
                     " | Cursor: " + (state.cursorEmulation ? "on" : "off");
  if (state.hasAccessKey) line += " | Refused: " + std::to_string(state.refusedReports);
  return line;
}

// Nothing has changed when this is shown.
void ShowUsage(const Command& command, const std::string& problem, ConsoleView& view) {
  view.ShowMessageBox(std::string(command.name) + ": " + problem + ". Usage: " + UsageOf(command),
                      "");
}

// Only plain digits count: "7x" and "+7" are no pointer numbers.
bool ParsePointer(const std::string& word, int& pointer) {
  if (word.empty() || word.size() > 3) return false;
  pointer = 0;
  for (char c : word) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    pointer = pointer * 10 + (c - '0');
  }
  return true;
}

CommandResult Start(const CommandCall& call) {
  call.dialog.Start();
  return CommandResult::kDone;
}

CommandResult Stop(const CommandCall& call) {
  call.dialog.Stop();
  return CommandResult::kDone;
}

CommandResult Reset(const CommandCall& call) {
  call.dialog.Reset();
  return CommandResult::kDone;
}

CommandResult Reread(const CommandCall& call) {
  call.dialog.ReloadPage();
  return CommandResult::kDone;
}

CommandResult Select(const CommandCall& call) {
  const std::string& word = call.words[1];
  int pointer = -1;
  if (!ParsePointer(word, pointer)) {
    ShowUsage(call.command, "\"" + word + "\" is not a pointer number", call.view);
  } else if (!IsValidPointer(pointer)) {
    ShowUsage(call.command, "there is no pointer " + word + ", pointers are 0 to 79", call.view);
  } else {
    call.dialog.SelectPointer(pointer);
  }
  return CommandResult::kDone;
}

CommandResult Vibrate(const CommandCall& call) {
  const int code = VibrateCodeFor(call.argument);
  if (code == 0) {
    ShowUsage(call.command, "unknown pattern \"" + call.words[1] + "\"", call.view);
  } else {
    call.dialog.Vibrate(code);
  }
  return CommandResult::kDone;
}

// Runs switchTo with the word "on" or "off"; any other word gets the usage line.
CommandResult Switch(const CommandCall& call, void (DialogIntents::*switchTo)(bool)) {
  if (call.argument != "on" && call.argument != "off") {
    ShowUsage(call.command, "on or off, not \"" + call.words[1] + "\"", call.view);
  } else {
    (call.dialog.*switchTo)(call.argument == "on");
  }
  return CommandResult::kDone;
}

CommandResult Emulate(const CommandCall& call) {
  return Switch(call, &DialogIntents::SetCursorEmulation);
}

CommandResult Show(const CommandCall& call) {
  return Switch(call, &DialogIntents::SetPointerOverlay);
}

CommandResult Screen(const CommandCall& call) {
  if (call.words.size() > 1) {
    const std::optional<CursorScreen> screen = ParseCursorScreen(call.argument);
    const std::size_t count = call.dialog.Monitors().size();
    if (!screen) {
      ShowUsage(call.command, "\"" + call.words[1] + "\" is no monitor", call.view);
    } else if (screen->kind == CursorScreen::Kind::kMonitor &&
               static_cast<std::size_t>(screen->monitor) > count) {
      ShowUsage(call.command, "there is no monitor " + call.words[1], call.view);
    } else {
      call.dialog.SetCursorScreen(*screen);
    }
    return CommandResult::kDone;
  }
  const std::vector<platform::Monitor> monitors = call.dialog.Monitors();
  std::string text = "The pad covers: " + call.dialog.State().cursorScreen + ". Monitors:";
  if (monitors.empty()) text += " not known (no display)";
  for (std::size_t i = 0; i < monitors.size(); ++i) {
    const platform::ScreenRect& r = monitors[i].area;
    char line[96];
    std::snprintf(line, sizeof line, "\n  %zu  %dx%d at %d,%d%s", i + 1, r.width, r.height, r.x,
                  r.y, monitors[i].primary ? "  primary" : "");
    text += line;
  }
  call.view.ShowMessageBox(text, "");
  return CommandResult::kDone;
}

CommandResult Labels(const CommandCall& call) {
  const std::optional<PointerLabels> labels = ParsePointerLabels(call.argument);
  if (!labels) {
    ShowUsage(call.command, "numbers or names, not \"" + call.words[1] + "\"", call.view);
  } else {
    call.dialog.SetPointerLabels(*labels);
  }
  return CommandResult::kDone;
}

// The pointer of the command's second word; false after telling why not.
bool TakePointer(const CommandCall& call, int& pointer) {
  const std::string& word = call.words[1];
  if (!ParsePointer(word, pointer)) {
    ShowUsage(call.command, "\"" + word + "\" is not a pointer number", call.view);
    return false;
  }
  if (!IsValidPointer(pointer)) {
    ShowUsage(call.command, "there is no pointer " + word + ", pointers are 0 to 79", call.view);
    return false;
  }
  return true;
}

CommandResult Name(const CommandCall& call) {
  int pointer = -1;
  if (TakePointer(call, pointer)) call.dialog.RenamePointer(pointer, std::string(call.rest));
  return CommandResult::kDone;
}

CommandResult Free(const CommandCall& call) {
  int pointer = -1;
  if (TakePointer(call, pointer)) call.dialog.FreeNumber(pointer);
  return CommandResult::kDone;
}

CommandResult List(const CommandCall& call) {
  ConsoleView& view = call.view;
  const DialogState& state = call.dialog.State();
  const std::vector<ReportingPointer>& pointers = state.reportingPointers;
  if (pointers.empty()) {
    view.ShowMessageBox("No pointer has reported in the last second (selected: Pointer " +
                            TwoDigits(state.selectedPointer) + ").",
                        "");
    return CommandResult::kDone;
  }
  std::string text = "Pointers that reported in the last second:";
  for (const ReportingPointer& pointer : pointers) {
    char line[96];
    std::snprintf(line, sizeof line, "\n%c Pointer %02d  X %5d  Y %5d  ButtonL %d  ButtonR %d",
                  pointer.pointer == state.selectedPointer ? '*' : ' ', pointer.pointer,
                  pointer.status.x, pointer.status.y, pointer.status.buttonL,
                  pointer.status.buttonR);
    text += line;
    if (pointer.twoPhones) text += "  two phones";
    // "17 Mia": the name follows the number and its space.
    const std::string& label = state.pointerLabels[static_cast<std::size_t>(pointer.pointer)];
    if (label.size() > 3) text += "  " + label.substr(3);
  }
  view.ShowMessageBox(text, "");
  return CommandResult::kDone;
}

CommandResult Status(const CommandCall& call) {
  call.view.ShowMessageBox(StatusLine(call.dialog.State()), "");
  return CommandResult::kDone;
}

CommandResult Help(const CommandCall& call) {
  call.view.ShowMessageBox(ConsoleHelpText(), "");
  return CommandResult::kDone;
}

CommandResult Exit(const CommandCall& call) {
  call.dialog.OnOK();
  return CommandResult::kExit;
}

}  // namespace

int VibrateCodeFor(std::string_view word) {
  const std::string lower = AsciiLowered(word);
  for (const Vibration& vibration : kVibrations) {
    char code[4];
    std::snprintf(code, sizeof code, "a%x", static_cast<unsigned>(vibration.code & 0xF));
    if (lower == vibration.word || lower == code) return vibration.code;
  }
  return 0;
}

std::string ConsoleHelpText() {
  std::string text = "Commands (one per line, any letter case):";
  for (const Command& command : kCommands) {
    char line[64];
    std::snprintf(line, sizeof line, "\n  %-16s ", command.usage);
    text += line;
    text += ExplanationOf(command);
    text += ".";
  }
  return text + "\n" + kStatusFields;
}

CommandResult RunConsoleCommand(std::string_view line, DialogIntents& dialog, ConsoleView& view) {
  const std::vector<std::string> words = Words(line);
  if (words.empty()) return CommandResult::kDone;
  const Command* command = FindCommand(AsciiLowered(words[0]));
  if (command == nullptr) {
    view.ShowMessageBox(words[0] + ": unknown command. Type help for the commands.", "");
    return CommandResult::kUnknown;
  }
  const int given = static_cast<int>(words.size()) - 1;
  const bool fits = command->arguments == kAtMostOne    ? given <= 1
                    : command->arguments == kAtLeastOne ? given >= 1
                                                        : given == command->arguments;
  if (!fits) {
    const bool tooMany =
        command->arguments >= 0 ? given > command->arguments : command->arguments == kAtMostOne;
    ShowUsage(*command, tooMany ? "too many words" : "missing argument", view);
    return CommandResult::kDone;
  }
  const std::string argument = given > 0 ? AsciiLowered(words[1]) : std::string();
  return command->handler(
      CommandCall{*command, words, argument, RestAfterTwoWords(line), dialog, view});
}
