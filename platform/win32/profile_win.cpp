#include "platform/profile.h"

#include <vector>

#include "platform/win32/system_error.h"

namespace platform {

std::string ProfileReadString(const std::string& file, const char* section, const char* key,
                              const char* fallback, std::size_t bufferSize) {
  if (bufferSize == 0) return {};
  std::vector<char> buffer(bufferSize);
  const DWORD length = GetPrivateProfileStringA(section, key, fallback, buffer.data(),
                                                static_cast<DWORD>(bufferSize), file.c_str());
  return std::string(buffer.data(), length);
}

Result ProfileReadRequired(const std::string& file, const char* section, const char* key,
                           std::size_t bufferSize, std::string& value) {
  value = ProfileReadString(file, section, key, "", bufferSize);
  if (!value.empty()) return Result();
  // GetPrivateProfileString says why it found nothing in the last error.
  return LastFailure();
}

int ProfileReadInt(const std::string& file, const char* section, const char* key, int fallback) {
  return static_cast<int>(GetPrivateProfileIntA(section, key, fallback, file.c_str()));
}

Result ProfileWriteString(const std::string& file, const char* section, const char* key,
                          const char* value) {
  if (!WritePrivateProfileStringA(section, key, value, file.c_str())) return LastFailure();
  return Result();
}

Result ProfileReadStruct(const std::string& file, const char* section, const char* key, void* data,
                         std::size_t size) {
  if (!GetPrivateProfileStructA(section, key, data, static_cast<UINT>(size), file.c_str())) {
    return LastFailure();
  }
  return Result();
}

Result ProfileWriteStruct(const std::string& file, const char* section, const char* key,
                          const void* data, std::size_t size) {
  if (!WritePrivateProfileStructA(section, key, const_cast<void*>(data), static_cast<UINT>(size),
                                  file.c_str())) {
    return LastFailure();
  }
  return Result();
}

}  // namespace platform
