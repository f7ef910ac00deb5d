// Reading a whole file through the backend's FileReader: the same on every
// system.
#include "platform/file_read.h"

#include <new>

namespace platform {

FileReadResult ReadWholeFile(const std::string& path, FileOpenMode mode, std::uint64_t sizeLimit,
                             std::string& contents, std::uint64_t& size) {
  FileReader file;
  if (!file.Open(path, mode)) return FileReadResult::kCannotOpen;
  size = file.Size();
  if (size > sizeLimit) return FileReadResult::kTooLarge;
  try {
    contents.resize(static_cast<std::size_t>(size));
  } catch (const std::bad_alloc&) {
    return FileReadResult::kTooLarge;
  }

  std::size_t received = 0;
  while (received < contents.size()) {
    std::size_t count = 0;
    if (!file.Read(contents.data() + received, contents.size() - received, count)) {
      contents.resize(received);
      return FileReadResult::kReadFailed;
    }
    if (count == 0) break;
    received += count;
  }
  if (received < contents.size()) {
    contents.resize(received);
    return FileReadResult::kIncomplete;
  }
  return FileReadResult::kComplete;
}

}  // namespace platform
