// The operator's window: the Win32 dialog on Windows, the Qt window on Linux
// desktops. The build links the one of the target.
#pragma once

class Application;

// True when a window can be shown here and now.
bool CanShowWindow();

// Runs the dialog in its window until it ends; returns the process exit code.
int RunWindowFrontEnd(Application& app);
