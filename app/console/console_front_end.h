// TVXHandvane without a window: the dialog driven by commands on stdin.
#pragma once

class Application;

// Runs until exit/quit, Ctrl+C or SIGTERM. Returns the process exit code.
int RunConsoleFrontEnd(Application& app);

// The program's version and the page's addresses on standard output, with
// the QR code of the first address when that is a terminal. The window
// front end prints them too, for whoever started it from a shell; only the
// console, which reads commands, invites them.
void PrintWelcome(const Application& app, bool readsCommands);
