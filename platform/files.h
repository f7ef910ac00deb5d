// Whole-file operations on plain paths. Every call reports success as true.
#pragma once

#include <string>
#include <string_view>

namespace platform {

bool PathExists(const std::string& path);
bool RemoveFile(const std::string& path);

// Renames a file; fails when the target already exists.
bool RenameWithoutReplace(const std::string& from, const std::string& to);

// Opens the file for writing (creating it when missing, no sharing while it is
// open), appends the bytes at its end and closes it again.
bool AppendToFile(const std::string& path, std::string_view bytes);

// The same, telling a file that could not be opened from one that was opened
// but did not take every byte (a full disk, say).
enum class AppendResult { kNotOpened, kNotAllWritten, kWritten };
AppendResult AppendToFileReporting(const std::string& path, std::string_view bytes);

}  // namespace platform
