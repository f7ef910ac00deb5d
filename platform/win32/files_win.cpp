#include "platform/files.h"

#include <windows.h>
// After windows.h, which it needs.
#include <sddl.h>

#include "platform/win32/system_error.h"

namespace platform {

bool PathExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

Result RemoveFile(const std::string& path) {
  if (!DeleteFileA(path.c_str())) return LastFailure();
  return Result();
}

Result RenameWithoutReplace(const std::string& from, const std::string& to) {
  if (!MoveFileA(from.c_str(), to.c_str())) return LastFailure();
  return Result();
}

Result RenameReplacing(const std::string& from, const std::string& to) {
  if (!MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return LastFailure();
  return Result();
}

Result FileSize(const std::string& path, std::uint64_t& size) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return LastFailure();
  size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return Result();
}

namespace {

// A write that takes less than all of it found the disk full.
Result WriteWhole(HANDLE file, std::string_view bytes) {
  DWORD written = 0;
  if (!WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
    return LastFailure();
  }
  return written == bytes.size() ? Result() : Failure(ERROR_DISK_FULL);
}

}  // namespace

Result AppendToFile(const std::string& path, std::string_view bytes, AppendSharing sharing) {
  bool opened = false;
  return AppendToFile(path, bytes, sharing, opened);
}

Result AppendToFile(const std::string& path, std::string_view bytes, AppendSharing sharing,
                    bool& opened) {
  // Shared as the C library's append mode shares: a viewer that has the file
  // open does not cost a line.
  const DWORD share = sharing == AppendSharing::kShared ? FILE_SHARE_READ | FILE_SHARE_WRITE : 0;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, share, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  opened = file != INVALID_HANDLE_VALUE;
  if (!opened) return LastFailure();
  SetFilePointer(file, 0, nullptr, FILE_END);
  const Result result = WriteWhole(file, bytes);
  CloseHandle(file);
  return result;
}

namespace {

// "D:P(A;;FA;;;<this process's user>)(A;;FA;;;SY)": full access for the user
// and the system, nobody else, nothing inherited. Empty when the user cannot
// be told.
std::string OwnerOnlyAccessList() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::string buffer(size, '\0');
  std::string accessList;
  char* sidText = nullptr;
  if (size != 0 && GetTokenInformation(token, TokenUser, buffer.data(), size, &size) &&
      ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &sidText)) {
    accessList = std::string("D:P(A;;FA;;;") + sidText + ")(A;;FA;;;SY)";
    LocalFree(sidText);
  }
  CloseHandle(token);
  return accessList;
}

}  // namespace

// A new file each time, so that it takes the access list above rather than
// keep an old one. Where the system cannot make that list the file gets its
// folder's.
Result WritePrivateFile(const std::string& path, std::string_view bytes) {
  if (!DeleteFileA(path.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) return LastFailure();
  PSECURITY_DESCRIPTOR ownerOnly = nullptr;
  SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, FALSE};
  const std::string accessList = OwnerOnlyAccessList();
  if (!accessList.empty() && ConvertStringSecurityDescriptorToSecurityDescriptorA(
                                 accessList.c_str(), SDDL_REVISION_1, &ownerOnly, nullptr)) {
    attributes.lpSecurityDescriptor = ownerOnly;
  }
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, &attributes, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  const Result opened = file == INVALID_HANDLE_VALUE ? LastFailure() : Result();
  if (ownerOnly != nullptr) LocalFree(ownerOnly);
  if (!opened) return opened;
  const Result result = WriteWhole(file, bytes);
  CloseHandle(file);
  return result;
}

}  // namespace platform
