#include "platform/profile.h"

#include <vector>

#include "platform/win32/system_error.h"

namespace platform {
namespace {

// Only a regular file (or none yet) is read or written: a link, junction or
// other reparse point put where the file goes is not followed, and a folder
// or device is not taken for it.
Result RegularOrMissing(const std::string& file) {
  const DWORD attributes = GetFileAttributesA(file.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return Result();
  constexpr DWORD kNotRegular =
      FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE;
  return (attributes & kNotRegular) != 0 ? Failure(ERROR_CANT_ACCESS_FILE) : Result();
}

}  // namespace

// Links are not followed here: the profile calls refuse them.
std::string SettingsFileTarget(const std::string& file) {
  return file;
}

Result ProfileCheckReadable(const std::string& file) {
  if (GetFileAttributesA(file.c_str()) == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Result()
                                                                          : Failure(error);
  }
  if (const Result regular = RegularOrMissing(file); !regular) return regular;
  const HANDLE handle = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return LastFailure();
  CloseHandle(handle);
  return Result();
}

std::string ProfileReadString(const std::string& file, const char* section, const char* key,
                              const char* fallback, std::size_t bufferSize) {
  if (bufferSize == 0) return {};
  if (!RegularOrMissing(file)) return std::string(fallback).substr(0, bufferSize - 1);
  std::vector<char> buffer(bufferSize);
  const DWORD length = GetPrivateProfileStringA(section, key, fallback, buffer.data(),
                                                static_cast<DWORD>(bufferSize), file.c_str());
  return std::string(buffer.data(), length);
}

Result ProfileReadRequired(const std::string& file, const char* section, const char* key,
                           std::size_t bufferSize, std::string& value) {
  if (const Result regular = RegularOrMissing(file); !regular) {
    value.clear();
    return regular;
  }
  SetLastError(ERROR_SUCCESS);
  value = ProfileReadString(file, section, key, "", bufferSize);
  if (!value.empty()) return Result();
  // GetPrivateProfileString says why it found nothing in the last error; a
  // key that is there but empty leaves none.
  const DWORD error = GetLastError();
  return Failure(error != ERROR_SUCCESS ? error : ERROR_FILE_NOT_FOUND);
}

int ProfileReadInt(const std::string& file, const char* section, const char* key, int fallback) {
  if (!RegularOrMissing(file)) return fallback;
  return static_cast<int>(GetPrivateProfileIntA(section, key, fallback, file.c_str()));
}

Result ProfileWriteString(const std::string& file, const char* section, const char* key,
                          const char* value) {
  if (const Result regular = RegularOrMissing(file); !regular) return regular;
  if (!WritePrivateProfileStringA(section, key, value, file.c_str())) return LastFailure();
  return Result();
}

Result ProfileReadStruct(const std::string& file, const char* section, const char* key, void* data,
                         std::size_t size) {
  if (const Result regular = RegularOrMissing(file); !regular) return regular;
  if (!GetPrivateProfileStructA(section, key, data, static_cast<UINT>(size), file.c_str())) {
    return LastFailure();
  }
  return Result();
}

Result ProfileWriteStruct(const std::string& file, const char* section, const char* key,
                          const void* data, std::size_t size) {
  if (const Result regular = RegularOrMissing(file); !regular) return regular;
  if (!WritePrivateProfileStructA(section, key, const_cast<void*>(data), static_cast<UINT>(size),
                                  file.c_str())) {
    return LastFailure();
  }
  return Result();
}

}  // namespace platform
