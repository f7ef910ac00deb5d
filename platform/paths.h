// Where the program lies and where the system keeps per-user files.
#pragma once

#include <string>

namespace platform {

// Full path of the running program file; empty when it cannot be found.
std::string ProgramFilePath();

// Folder that holds per-application profiles: the Windows directory on
// Windows, ${XDG_CONFIG_HOME:-$HOME/.config} on Linux. No trailing separator.
std::string ProfileFolder();

// Folder of the server's error log: the Windows directory on Windows,
// ${XDG_STATE_HOME:-$HOME/.local/state} on Linux, created when missing.
std::string SystemLogFolder();

// The separator this system puts between folder and file names.
char PathSeparator();

}  // namespace platform
