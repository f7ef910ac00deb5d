// The console front end's command language: one command per line, words in
// any letter case.
#pragma once

#include <string>
#include <string_view>

class ConsoleView;
class DialogIntents;

enum class CommandResult { kDone, kExit, kUnknown };

// Runs one line against the dialog; output goes through the view.
CommandResult RunConsoleCommand(std::string_view line, DialogIntents& dialog, ConsoleView& view);

// The Vibrate command code for a name such as "short-single" or "A3"; 0 when none.
int VibrateCodeFor(std::string_view word);

std::string ConsoleHelpText();
