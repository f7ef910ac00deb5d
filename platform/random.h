// Unpredictable bytes from the system's cryptographic random source, for
// secrets such as the class's access key.
#pragma once

#include <cstddef>

#include "platform/result.h"

namespace platform {

// Fills size bytes at buffer, or fails and leaves them unspecified.
Result FillRandomBytes(void* buffer, std::size_t size);

}  // namespace platform
