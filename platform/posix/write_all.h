// Writing a whole text to a descriptor, as the backend's file writers do:
// interrupted writes go on, and a write that takes nothing counts as a full
// disk, so that a short file never passes for a written one.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "platform/posix/system_error.h"

namespace platform {

inline Result WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return LastFailure();
    if (written == 0) return Failure(ENOSPC);
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return Result();
}

}  // namespace platform
