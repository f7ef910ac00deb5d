#include "platform/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace platform {
namespace {

// mkdir -p: creates every missing folder of the path.
void CreateFolders(const std::string& path) {
  for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string prefix = path.substr(0, slash);
    if (mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) return;
    if (slash == std::string::npos) return;
  }
}

// ${variable} when set and absolute, else $HOME + fallback.
std::string XdgFolder(const char* variable, const char* fallbackBelowHome) {
  const char* value = std::getenv(variable);
  if (value != nullptr && value[0] == '/') return value;
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "") + fallbackBelowHome;
}

}  // namespace

std::string ProgramFilePath() {
  char buffer[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return {};
  return std::string(buffer, static_cast<std::size_t>(length));
}

std::string ProfileFolder() {
  std::string folder = XdgFolder("XDG_CONFIG_HOME", "/.config");
  CreateFolders(folder);
  return folder;
}

std::string SystemLogFolder() {
  std::string folder = XdgFolder("XDG_STATE_HOME", "/.local/state");
  CreateFolders(folder);
  return folder;
}

std::string FirstWritableFolder(const std::string& preferred, const std::string& fallback) {
  if (access(preferred.c_str(), W_OK | X_OK) == 0) return preferred;
  CreateFolders(fallback);
  return access(fallback.c_str(), W_OK | X_OK) == 0 ? fallback : std::string();
}

char PathSeparator() {
  return '/';
}

bool IsRelativePath(const std::string& path) {
  return !path.empty() && path.front() != '/';
}

}  // namespace platform
