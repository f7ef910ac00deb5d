#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace platform {

bool PathExists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0;
}

bool RemoveFile(const std::string& path) {
  return unlink(path.c_str()) == 0;
}

bool RenameWithoutReplace(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // File systems without RENAME_NOREPLACE: a hard link fails on an existing target too.
  if (link(from.c_str(), to.c_str()) != 0) return false;
  unlink(from.c_str());
  return true;
}

bool RenameReplacing(const std::string& from, const std::string& to) {
  return rename(from.c_str(), to.c_str()) == 0;
}

bool FileSize(const std::string& path, std::uint64_t& size) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return false;
  size = static_cast<std::uint64_t>(info.st_size);
  return true;
}

bool AppendToFile(const std::string& path, std::string_view bytes, AppendSharing sharing) {
  return AppendToFileReporting(path, bytes, sharing) == AppendResult::kWritten;
}

// Linux has no share modes: every open file is shared.
AppendResult AppendToFileReporting(const std::string& path, std::string_view bytes,
                                   AppendSharing) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return AppendResult::kNotOpened;
  AppendResult result = AppendResult::kWritten;
  while (!bytes.empty()) {
    const ssize_t written = write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      result = AppendResult::kNotAllWritten;
      break;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  close(fd);
  return result;
}

}  // namespace platform
