// Private-profile (INI) files: sections of key=value lines. Section and key
// names compare without regard to case; values are trimmed of surrounding blanks.
#pragma once

#include <cstddef>
#include <string>

#include "platform/result.h"

namespace platform {

// The file a settings path stands for. The operator may keep the program's
// settings elsewhere and link them: on Linux a symbolic link, or a chain of
// them, is followed to its end; any other path is the file itself. Only the
// operator's own settings files go through here: files the program writes
// into folders others may write keep refusing links.
std::string SettingsFileTarget(const std::string& file);

// Success when the settings file can be read or nothing is there (its values
// then fall back); otherwise why what is there, followed through links,
// cannot be read.
Result ProfileCheckReadable(const std::string& file);

// The value of section/key, or fallback when the file, section or key is
// missing. At most bufferSize - 1 characters are returned, as a buffer of
// bufferSize bytes would hold them.
std::string ProfileReadString(const std::string& file, const char* section, const char* key,
                              const char* fallback, std::size_t bufferSize);

// A value that must be there: fails when the file, section or key is missing
// or the value is empty, with the code the system gave for it where it gave
// one (a file that cannot be read), else the code for "not found".
Result ProfileReadRequired(const std::string& file, const char* section, const char* key,
                           std::size_t bufferSize, std::string& value);

// The leading decimal number of the value, 0 when the value has none, fallback
// when the key is missing.
int ProfileReadInt(const std::string& file, const char* section, const char* key, int fallback);

// Creates the file, section and key as needed and keeps the rest of the file.
Result ProfileWriteString(const std::string& file, const char* section, const char* key,
                          const char* value);

// A struct stored as two upper-case hex digits per byte followed by a
// two-digit checksum (the byte sum modulo 256). The read fails unless the
// length and the checksum match, and then leaves data as it was.
Result ProfileReadStruct(const std::string& file, const char* section, const char* key, void* data,
                         std::size_t size);
Result ProfileWriteStruct(const std::string& file, const char* section, const char* key,
                          const void* data, std::size_t size);

}  // namespace platform
