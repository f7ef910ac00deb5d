#include "platform/process.h"

#include <windows.h>

namespace platform {

std::uint32_t ProcessId() { return GetCurrentProcessId(); }

}  // namespace platform
