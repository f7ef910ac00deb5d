// The running process.
#pragma once

#include <cstdint>

namespace platform {

std::uint32_t ProcessId();

}  // namespace platform
