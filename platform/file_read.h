// Reading files of the disk: whole into memory, or piece by piece.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/result.h"

namespace platform {

enum class FileOpenMode {
  // Read only; on Windows nobody else may open the file meanwhile (Linux has
  // no mandatory locks, so there it is a plain read).
  kExclusiveRead,
  // Opened for reading and writing, shared with other readers and writers,
  // and the file may be renamed or deleted while open.
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

// An open regular file, read from its start in pieces; closed with its owner.
class FileReader {
 public:
  FileReader() = default;
  ~FileReader() { Close(); }
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;

  // Fails when the file cannot be opened so: missing, refused, locked, not a
  // regular file, or read-only with kSharedReadWrite.
  Result Open(const std::string& path, FileOpenMode mode);
  bool IsOpen() const { return handle_ != kInvalid; }
  // The size when the file was opened.
  std::uint64_t Size() const { return size_; }
  // Reads the next bytes, at most capacity; got is 0 at the end of the file.
  Result Read(char* buffer, std::size_t capacity, std::size_t& got);
  void Close();

 private:
  static constexpr std::intptr_t kInvalid = -1;
  std::intptr_t handle_ = kInvalid;
  std::uint64_t size_ = 0;
};

// Opens a regular file, takes its size and reads that many bytes. size is set
// once the file is open; contents is replaced unless the file cannot be opened
// or is too large.
FileReadResult ReadWholeFile(const std::string& path, FileOpenMode mode, std::uint64_t sizeLimit,
                             std::string& contents, std::uint64_t& size);

}  // namespace platform
