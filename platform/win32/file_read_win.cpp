#include "platform/file_read.h"

#include "platform/win32/system_error.h"

namespace platform {
namespace {

HANDLE Native(std::intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

// ReadFile takes a 32-bit count; larger pieces are read in parts.
constexpr DWORD kLargestRead = 0x40000000;

}  // namespace

Result FileReader::Open(const std::string& path, FileOpenMode mode) {
  Close();
  const bool readWrite = mode == FileOpenMode::kSharedReadWrite;
  // A download can run for minutes: meanwhile the operator may rename or
  // replace the file, and the download goes on with the one it opened.
  const DWORD share = readWrite ? FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE : 0;
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | (readWrite ? GENERIC_WRITE : 0),
                                  share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LastFailure();
  handle_ = reinterpret_cast<std::intptr_t>(file);
  if (GetFileType(file) != FILE_TYPE_DISK) {
    Close();
    return Failure(ERROR_ACCESS_DENIED);
  }
  // Windows refuses write access to read-only files by itself; the check
  // keeps that so where a privileged user could still open them (wine as root).
  BY_HANDLE_FILE_INFORMATION information{};
  if (readWrite && GetFileInformationByHandle(file, &information) &&
      (information.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
    Close();
    return Failure(ERROR_ACCESS_DENIED);
  }
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file, &size)) {
    const Result failure = LastFailure();
    Close();
    return failure;
  }
  size_ = static_cast<std::uint64_t>(size.QuadPart);
  return Result();
}

Result FileReader::Read(char* buffer, std::size_t capacity, std::size_t& got) {
  got = 0;
  const DWORD wanted = capacity < kLargestRead ? static_cast<DWORD>(capacity) : kLargestRead;
  DWORD count = 0;
  if (!ReadFile(Native(handle_), buffer, wanted, &count, nullptr)) return LastFailure();
  got = count;
  return Result();
}

void FileReader::Close() {
  if (handle_ != kInvalid) CloseHandle(Native(handle_));
  handle_ = kInvalid;
  size_ = 0;
}

}  // namespace platform
