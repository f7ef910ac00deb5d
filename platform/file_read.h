// Reading a whole file into memory in one go.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

enum class FileOpenMode {
  // Read only; on Windows nobody else may open the file meanwhile (Linux has
  // no mandatory locks, so there it is a plain read).
  kExclusiveRead,
  // Opened for reading and writing, shared with other readers and writers.
  // Refused for read-only files: a file that no one may write counts as
  // read-only, also for a privileged user.
  kSharedReadWrite,
};

enum class FileReadResult {
  kComplete,    // contents holds all size bytes
  kCannotOpen,  // missing, refused, locked, or not a regular file
  kTooLarge,    // size exceeds the limit (or memory for it); nothing read
  kReadFailed,  // the read reported an error; contents holds what arrived
  kIncomplete,  // fewer bytes than size arrived; contents holds them
};

// Opens a regular file, takes its size and reads that many bytes. size is set
// once the file is open; contents is replaced unless the file cannot be opened
// or is too large.
FileReadResult ReadWholeFile(const std::string& path, FileOpenMode mode, std::uint64_t sizeLimit,
                             std::string& contents, std::uint64_t& size);

}  // namespace platform
