#include "platform/file_read.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>

namespace platform {
namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

constexpr mode_t kAnyWritePermission = S_IWUSR | S_IWGRP | S_IWOTH;

}  // namespace

FileReadResult ReadWholeFile(const std::string& path, FileOpenMode mode, std::uint64_t sizeLimit,
                             std::string& contents, std::uint64_t& size) {
  const int access = mode == FileOpenMode::kSharedReadWrite ? O_RDWR : O_RDONLY;
  // Non-blocking so that opening a FIFO cannot hang; regular files ignore it.
  const FileDescriptor file(open(path.c_str(), access | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (file.get() < 0) return FileReadResult::kCannotOpen;
  struct stat info {};
  if (fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) return FileReadResult::kCannotOpen;
  if (mode == FileOpenMode::kSharedReadWrite && (info.st_mode & kAnyWritePermission) == 0) {
    return FileReadResult::kCannotOpen;
  }

  size = static_cast<std::uint64_t>(info.st_size);
  if (size > sizeLimit) return FileReadResult::kTooLarge;
  try {
    contents.resize(static_cast<std::size_t>(size));
  } catch (const std::bad_alloc&) {
    return FileReadResult::kTooLarge;
  }

  std::size_t received = 0;
  while (received < contents.size()) {
    const ssize_t count = read(file.get(), contents.data() + received, contents.size() - received);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) {
      contents.resize(received);
      return FileReadResult::kReadFailed;
    }
    if (count == 0) break;
    received += static_cast<std::size_t>(count);
  }
  if (received < contents.size()) {
    contents.resize(received);
    return FileReadResult::kIncomplete;
  }
  return FileReadResult::kComplete;
}

}  // namespace platform
