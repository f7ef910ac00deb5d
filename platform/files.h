// Whole-file operations on plain paths.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/result.h"

namespace platform {

bool PathExists(const std::string& path);
Result RemoveFile(const std::string& path);

// Renames a file; fails when the target already exists.
Result RenameWithoutReplace(const std::string& from, const std::string& to);
// Renames a file, replacing the target when there is one.
Result RenameReplacing(const std::string& from, const std::string& to);

// The size of an existing file.
Result FileSize(const std::string& path, std::uint64_t& size);

enum class AppendSharing {
  kExclusive,  // nobody else may have the file open meanwhile (Windows)
  kShared,     // others may read and write it meanwhile, as a viewer does
};

// Opens the file for writing (creating it when missing), appends the bytes at
// its end and closes it again.
Result AppendToFile(const std::string& path, std::string_view bytes,
                    AppendSharing sharing = AppendSharing::kExclusive);

// The same; opened tells a file that could not be opened from one that was
// opened but did not take every byte (a full disk, say).
Result AppendToFile(const std::string& path, std::string_view bytes, AppendSharing sharing,
                    bool& opened);

// Creates the file, or replaces what it held, with bytes that only the user
// running this program may read: a secret for the operator's other programs.
Result WritePrivateFile(const std::string& path, std::string_view bytes);

}  // namespace platform
