#include "platform/paths.h"

#include <windows.h>

namespace platform {
namespace {

std::string WindowsDirectory() {
  char buffer[MAX_PATH];
  const UINT length = GetWindowsDirectoryA(buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return std::string(buffer, length);
}

std::string PerUserFolder() {
  char buffer[MAX_PATH];
  const DWORD length = GetEnvironmentVariableA("LOCALAPPDATA", buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return std::string(buffer, length) + "\\TVXHandvane";
}

// Whether this process may create a file in folder: only a real attempt
// tells, since neither attributes nor the account's rights say it alone.
bool CanCreateFileIn(const std::string& folder) {
  if (folder.empty()) return false;
  char probe[MAX_PATH];
  if (GetTempFileNameA(folder.c_str(), "tvx", 0, probe) == 0) return false;
  DeleteFileA(probe);
  return true;
}

std::string ProgramTitle() {
  const std::string program = ProgramFilePath();
  const std::size_t nameStart = program.find_last_of("\\/") + 1;
  const std::size_t dot = program.find_last_of('.');
  return program.substr(
      nameStart, dot == std::string::npos || dot < nameStart ? std::string::npos : dot - nameStart);
}

// A standard user may not write to the Windows directory, and a 64-bit
// program gets no redirection of such writes: its files go to the user's own
// folder then. Once chosen, the folder stays for the whole run.
const std::string& UserFilesFolder() {
  static const std::string folder = [] {
    const std::string windows = WindowsDirectory();
    const std::string chosen = FirstWritableFolder(windows, PerUserFolder());
    if (!chosen.empty() && chosen != windows) {
      // The profile kept in the Windows directory before, taken over once.
      const std::string name = "\\" + ProgramTitle() + ".INI";
      CopyFileA((windows + name).c_str(), (chosen + name).c_str(), TRUE);
    }
    return chosen.empty() ? windows : chosen;
  }();
  return folder;
}

}  // namespace

std::string ProgramFilePath() {
  char buffer[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return std::string(buffer, length);
}

std::string ProfileFolder() {
  return UserFilesFolder();
}

std::string SystemLogFolder() {
  return UserFilesFolder();
}

std::string FirstWritableFolder(const std::string& preferred, const std::string& fallback) {
  if (CanCreateFileIn(preferred)) return preferred;
  if (fallback.empty()) return {};
  CreateDirectoryA(fallback.c_str(), nullptr);
  return CanCreateFileIn(fallback) ? fallback : std::string();
}

char PathSeparator() {
  return '\\';
}

bool IsRelativePath(const std::string& path) {
  if (path.empty() || path.front() == '\\' || path.front() == '/') return false;
  return path.size() < 2 || path[1] != ':';
}

}  // namespace platform
