// Where the program lies and where the system keeps per-user files.
#pragma once

#include <string>

namespace platform {

// Full path of the running program file; empty when it cannot be found.
std::string ProgramFilePath();

// Folder that holds per-application profiles: on Windows the Windows
// directory when this user may write there, else %LOCALAPPDATA%\TVXHandvane
// (a profile found in the Windows directory is copied there once); on Linux
// ${XDG_CONFIG_HOME:-$HOME/.config}. No trailing separator.
std::string ProfileFolder();

// Folder of the server's error log: the same choice on Windows,
// ${XDG_STATE_HOME:-$HOME/.local/state} on Linux, created when missing.
std::string SystemLogFolder();

// preferred when a file can be created in it, else fallback (created when
// missing); empty when neither takes a file.
std::string FirstWritableFolder(const std::string& preferred, const std::string& fallback);

// The separator this system puts between folder and file names.
char PathSeparator();

// True for a path that names a place only from some folder ("www", "."): not
// empty and not beginning at a root (on Windows also not at a drive, "C:").
bool IsRelativePath(const std::string& path);

}  // namespace platform
