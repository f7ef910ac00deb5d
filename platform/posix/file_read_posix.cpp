#include "platform/file_read.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/system_error.h"

namespace platform {
namespace {

constexpr mode_t kAnyWritePermission = S_IWUSR | S_IWGRP | S_IWOTH;

int Fd(std::intptr_t handle) {
  return static_cast<int>(handle);
}

}  // namespace

Result FileReader::Open(const std::string& path, FileOpenMode mode) {
  Close();
  const int access = mode == FileOpenMode::kSharedReadWrite ? O_RDWR : O_RDONLY;
  // Non-blocking so that opening a FIFO cannot hang; regular files ignore it.
  const int fd = open(path.c_str(), access | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return LastFailure();
  handle_ = fd;
  struct stat info {};
  if (fstat(fd, &info) != 0) {
    const Result failure = LastFailure();
    Close();
    return failure;
  }
  // What Windows answers for a folder, a device and a file no one may write.
  if (!S_ISREG(info.st_mode) ||
      (mode == FileOpenMode::kSharedReadWrite && (info.st_mode & kAnyWritePermission) == 0)) {
    Close();
    return Failure(EACCES);
  }
  size_ = static_cast<std::uint64_t>(info.st_size);
  return Result();
}

Result FileReader::Read(char* buffer, std::size_t capacity, std::size_t& got) {
  got = 0;
  for (;;) {
    const ssize_t count = read(Fd(handle_), buffer, capacity);
    if (count >= 0) {
      got = static_cast<std::size_t>(count);
      return Result();
    }
    if (errno != EINTR) return LastFailure();
  }
}

void FileReader::Close() {
  if (handle_ != kInvalid) close(Fd(handle_));
  handle_ = kInvalid;
  size_ = 0;
}

}  // namespace platform
