#include "platform/result.h"

#include <cstring>

namespace platform {

std::string FailureText(Result result) {
  char buffer[256];
  // The GNU strerror_r may return a text of its own instead of filling buffer.
  const char* text = strerror_r(result.Code(), buffer, sizeof buffer);
  return std::string(text) + " (" + std::to_string(result.Code()) + ")";
}

}  // namespace platform
