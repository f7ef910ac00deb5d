// Where this backend turns the system's report of a failure into a Result:
// the errno of the failing call, or the code a call returns itself (pthread,
// posix_spawn). A failure never reads as success, even when errno was left 0.
#pragma once

#include <cerrno>

#include "platform/result.h"

namespace platform {

inline Result Failure(int code) {
  return Result(code != 0 ? code : EIO);
}

// Read right after the failing call, before anything else can change errno.
inline Result LastFailure() {
  return Failure(errno);
}

}  // namespace platform
