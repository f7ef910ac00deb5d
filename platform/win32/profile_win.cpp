#include "platform/profile.h"

#include <windows.h>

#include <vector>

namespace platform {

std::string ProfileReadString(const std::string& file, const char* section, const char* key,
                              const char* fallback, std::size_t bufferSize) {
  if (bufferSize == 0) return {};
  std::vector<char> buffer(bufferSize);
  const DWORD length = GetPrivateProfileStringA(section, key, fallback, buffer.data(),
                                                static_cast<DWORD>(bufferSize), file.c_str());
  return std::string(buffer.data(), length);
}

int ProfileReadInt(const std::string& file, const char* section, const char* key, int fallback) {
  return static_cast<int>(GetPrivateProfileIntA(section, key, fallback, file.c_str()));
}

bool ProfileWriteString(const std::string& file, const char* section, const char* key,
                        const char* value) {
  return WritePrivateProfileStringA(section, key, value, file.c_str()) != 0;
}

bool ProfileReadStruct(const std::string& file, const char* section, const char* key, void* data,
                       std::size_t size) {
  return GetPrivateProfileStructA(section, key, data, static_cast<UINT>(size), file.c_str()) != 0;
}

bool ProfileWriteStruct(const std::string& file, const char* section, const char* key,
                        const void* data, std::size_t size) {
  return WritePrivateProfileStructA(section, key, const_cast<void*>(data), static_cast<UINT>(size),
                                    file.c_str()) != 0;
}

}  // namespace platform
