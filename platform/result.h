// What a platform call that can fail returns: success, or the system's own
// code for the failure (errno on Linux; GetLastError or WSAGetLastError on
// Windows), for the caller to log as it is. A call that makes an object
// returns this and fills an out-parameter. Queries that cannot fail, and
// waits that only tell whether something happened in time, answer directly.
//
// A result tests true on success, so a caller that only asks whether the call
// worked writes if (!Call(...)); one that logs the failure logs Code().
#pragma once

#include <string>

namespace platform {

class [[nodiscard]] Result {
 public:
  // Success.
  constexpr Result() = default;
  // A code of 0 is success; each backend makes failures with a nonzero code only.
  constexpr explicit Result(int code) : code_(code) {}

  constexpr explicit operator bool() const { return code_ == 0; }
  // 0 on success, else the system's error code.
  constexpr int Code() const { return code_; }

 private:
  int code_ = 0;
};

// The system's words for a failure, with its code, for the operator:
// "File too large (27)".
std::string FailureText(Result result);

}  // namespace platform
