#include "platform/result.h"

#include <windows.h>

namespace platform {

std::string FailureText(Result result) {
  char buffer[256];
  DWORD length =
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                     static_cast<DWORD>(result.Code()), 0, buffer, sizeof buffer, nullptr);
  // The system's texts end in a full stop and a line end.
  while (length > 0 && (buffer[length - 1] == '\n' || buffer[length - 1] == '\r' ||
                        buffer[length - 1] == '.' || buffer[length - 1] == ' ')) {
    --length;
  }
  const std::string text = length > 0 ? std::string(buffer, length) : "System error";
  return text + " (" + std::to_string(result.Code()) + ")";
}

}  // namespace platform
