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

}  // namespace

std::string ProgramFilePath() {
  char buffer[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return std::string(buffer, length);
}

std::string ProfileFolder() {
  return WindowsDirectory();
}

std::string SystemLogFolder() {
  return WindowsDirectory();
}

char PathSeparator() {
  return '\\';
}

}  // namespace platform
