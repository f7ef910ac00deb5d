// INI files on Linux, read and written with SimpleIni, giving the results the
// Windows private-profile functions give.
#include "platform/profile.h"

#define SI_NO_CONVERSION  // values are 8-bit text, stored as they are
#include <SimpleIni.h>

#include <cstdlib>
#include <cstring>
#include <string_view>

namespace platform {
namespace {

// Section and key names compare without regard to case, as on Windows.
using IniFile = CSimpleIniTempl<char, SI_NoCase<char>, SI_ConvertA<char>>;

bool LoadInto(IniFile& ini, const std::string& file) {
  ini.SetUnicode(false);
  ini.SetMultiKey(false);
  ini.SetSpaces(false);
  return ini.LoadFile(file.c_str()) == SI_OK;
}

// Windows drops one pair of matching quotes around a value.
std::string_view WithoutQuotes(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

// The stored value, or nullptr when the file, section or key is missing.
const char* FindValue(const IniFile& ini, const char* section, const char* key) {
  return ini.GetValue(section, key, nullptr);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::string ProfileReadString(const std::string& file, const char* section, const char* key,
                              const char* fallback, std::size_t bufferSize) {
  IniFile ini;
  LoadInto(ini, file);
  const char* stored = FindValue(ini, section, key);
  std::string_view value = stored != nullptr ? WithoutQuotes(stored) : std::string_view(fallback);
  if (bufferSize == 0) return {};
  if (value.size() > bufferSize - 1) value = value.substr(0, bufferSize - 1);
  return std::string(value);
}

int ProfileReadInt(const std::string& file, const char* section, const char* key, int fallback) {
  IniFile ini;
  LoadInto(ini, file);
  const char* stored = FindValue(ini, section, key);
  if (stored == nullptr) return fallback;
  return static_cast<int>(std::strtol(stored, nullptr, 10));
}

bool ProfileWriteString(const std::string& file, const char* section, const char* key,
                        const char* value) {
  IniFile ini;
  LoadInto(ini, file);  // a missing file starts empty
  if (ini.SetValue(section, key, value) < 0) return false;
  return ini.SaveFile(file.c_str(), false) == SI_OK;
}

bool ProfileReadStruct(const std::string& file, const char* section, const char* key, void* data,
                       std::size_t size) {
  IniFile ini;
  LoadInto(ini, file);
  const char* stored = FindValue(ini, section, key);
  if (stored == nullptr || std::strlen(stored) != 2 * size + 2) return false;

  // Decode everything first: a refused value leaves the caller's struct as it was.
  std::string decoded(size + 1, '\0');
  for (std::size_t i = 0; i <= size; ++i) {
    const int high = HexDigit(stored[2 * i]);
    const int low = HexDigit(stored[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    decoded[i] = static_cast<char>(high * 16 + low);
  }
  unsigned checksum = 0;
  for (std::size_t i = 0; i < size; ++i) checksum += static_cast<unsigned char>(decoded[i]);
  if (static_cast<unsigned char>(decoded[size]) != (checksum & 0xFF)) return false;
  std::memcpy(data, decoded.data(), size);
  return true;
}

bool ProfileWriteStruct(const std::string& file, const char* section, const char* key,
                        const void* data, std::size_t size) {
  static const char kDigits[] = "0123456789ABCDEF";
  const auto* bytes = static_cast<const unsigned char*>(data);
  std::string text;
  text.reserve(2 * size + 2);
  unsigned checksum = 0;
  for (std::size_t i = 0; i < size; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
    checksum += bytes[i];
  }
  text += kDigits[(checksum >> 4) & 0x0F];
  text += kDigits[checksum & 0x0F];
  return ProfileWriteString(file, section, key, text.c_str());
}

}  // namespace platform
