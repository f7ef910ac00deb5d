#include "platform/files.h"

#include <windows.h>

namespace platform {

bool PathExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool RemoveFile(const std::string& path) {
  return DeleteFileA(path.c_str()) != 0;
}

bool RenameWithoutReplace(const std::string& from, const std::string& to) {
  return MoveFileA(from.c_str(), to.c_str()) != 0;
}

bool RenameReplacing(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool FileSize(const std::string& path, std::uint64_t& size) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return false;
  size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return true;
}

bool AppendToFile(const std::string& path, std::string_view bytes, AppendSharing sharing) {
  return AppendToFileReporting(path, bytes, sharing) == AppendResult::kWritten;
}

AppendResult AppendToFileReporting(const std::string& path, std::string_view bytes,
                                   AppendSharing sharing) {
  // Shared as the C library's append mode shares: a viewer that has the file
  // open does not cost a line.
  const DWORD share = sharing == AppendSharing::kShared ? FILE_SHARE_READ | FILE_SHARE_WRITE : 0;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, share, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return AppendResult::kNotOpened;
  SetFilePointer(file, 0, nullptr, FILE_END);
  DWORD written = 0;
  const BOOL ok =
      WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size() ? AppendResult::kWritten : AppendResult::kNotAllWritten;
}

}  // namespace platform
