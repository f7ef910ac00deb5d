// TVXHandvane without a window: the dialog driven by commands on stdin.
#pragma once

class Application;
class ConsoleView;
class MainDialog;

// Runs until exit/quit, Ctrl+C or SIGTERM. Returns the process exit code.
int RunConsoleFrontEnd(Application& app);

// Drives a dialog that runs already (initialised, rendering to view) with
// commands on stdin until the same ends, then runs its shutdown sequence.
// Returns the process exit code.
int RunConsoleCommands(MainDialog& dialog, ConsoleView& view);
