#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/posix/system_error.h"
#include "platform/posix/write_all.h"

namespace platform {

bool PathExists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0;
}

Result RemoveFile(const std::string& path) {
  if (unlink(path.c_str()) != 0) return LastFailure();
  return Result();
}

Result RenameWithoutReplace(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    return Result();
  }
  if (errno != EINVAL && errno != ENOSYS) return LastFailure();
  // File systems without RENAME_NOREPLACE: a hard link fails on an existing target too.
  if (link(from.c_str(), to.c_str()) != 0) return LastFailure();
  unlink(from.c_str());
  return Result();
}

Result RenameReplacing(const std::string& from, const std::string& to) {
  if (rename(from.c_str(), to.c_str()) != 0) return LastFailure();
  return Result();
}

Result FileSize(const std::string& path, std::uint64_t& size) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return LastFailure();
  size = static_cast<std::uint64_t>(info.st_size);
  return Result();
}

Result AppendToFile(const std::string& path, std::string_view bytes, AppendSharing sharing) {
  bool opened = false;
  return AppendToFile(path, bytes, sharing, opened);
}

// Linux has no share modes: every open file is shared.
Result AppendToFile(const std::string& path, std::string_view bytes, AppendSharing, bool& opened) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  opened = fd >= 0;
  if (!opened) return LastFailure();
  const Result result = WriteAll(fd, bytes);
  close(fd);
  return result;
}

// A new file each time: an old one may carry wider permissions, or be a link
// to somewhere else.
Result WritePrivateFile(const std::string& path, std::string_view bytes) {
  if (unlink(path.c_str()) != 0 && errno != ENOENT) return LastFailure();
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return LastFailure();
  const Result result = WriteAll(fd, bytes);
  close(fd);
  return result;
}

}  // namespace platform
