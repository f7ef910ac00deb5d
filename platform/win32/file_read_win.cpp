#include "platform/file_read.h"

#include <windows.h>

#include <new>

namespace platform {
namespace {

class FileHandle {
 public:
  explicit FileHandle(HANDLE handle) : handle_(handle) {}
  ~FileHandle() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

// ReadFile takes a 32-bit count; larger files are read in pieces.
constexpr DWORD kLargestRead = 0x40000000;

}  // namespace

FileReadResult ReadWholeFile(const std::string& path, FileOpenMode mode, std::uint64_t sizeLimit,
                             std::string& contents, std::uint64_t& size) {
  const bool readWrite = mode == FileOpenMode::kSharedReadWrite;
  const FileHandle file(CreateFileA(path.c_str(), GENERIC_READ | (readWrite ? GENERIC_WRITE : 0),
                                    readWrite ? FILE_SHARE_READ | FILE_SHARE_WRITE : 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) return FileReadResult::kCannotOpen;
  if (GetFileType(file.get()) != FILE_TYPE_DISK) return FileReadResult::kCannotOpen;
  // Windows refuses write access to read-only files by itself; the check
  // keeps that so where a privileged user could still open them (wine as root).
  BY_HANDLE_FILE_INFORMATION information{};
  if (readWrite && GetFileInformationByHandle(file.get(), &information) &&
      (information.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
    return FileReadResult::kCannotOpen;
  }

  DWORD sizeHigh = 0;
  const DWORD sizeLow = GetFileSize(file.get(), &sizeHigh);
  if (sizeLow == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
    return FileReadResult::kReadFailed;
  size = (static_cast<std::uint64_t>(sizeHigh) << 32) | sizeLow;
  if (size > sizeLimit) return FileReadResult::kTooLarge;
  try {
    contents.resize(static_cast<std::size_t>(size));
  } catch (const std::bad_alloc&) {
    return FileReadResult::kTooLarge;
  }

  std::size_t received = 0;
  while (received < contents.size()) {
    const std::size_t left = contents.size() - received;
    const DWORD wanted = left < kLargestRead ? static_cast<DWORD>(left) : kLargestRead;
    DWORD count = 0;
    if (!ReadFile(file.get(), contents.data() + received, wanted, &count, nullptr)) {
      contents.resize(received);
      return FileReadResult::kReadFailed;
    }
    if (count == 0) break;
    received += count;
  }
  if (received < contents.size()) {
    contents.resize(received);
    return FileReadResult::kIncomplete;
  }
  return FileReadResult::kComplete;
}

}  // namespace platform
