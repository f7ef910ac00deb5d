// TVXHandvane without a window: the dialog driven by commands on stdin.
#pragma once

class Application;

// Runs until exit/quit, Ctrl+C or SIGTERM. Returns the process exit code.
int RunConsoleFrontEnd(Application& app);
