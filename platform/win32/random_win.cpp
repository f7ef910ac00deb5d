#include "platform/random.h"

#include <windows.h>
// After windows.h, which it needs.
#include <bcrypt.h>

#include <climits>

#include "platform/win32/system_error.h"

namespace platform {

Result FillRandomBytes(void* buffer, std::size_t size) {
  auto* bytes = static_cast<unsigned char*>(buffer);
  while (size > 0) {
    const ULONG chunk = size > ULONG_MAX ? ULONG_MAX : static_cast<ULONG>(size);
    const NTSTATUS status = BCryptGenRandom(nullptr, bytes, chunk, BCRYPT_USE_SYSTEM_PREFERRED_RNG);
    if (status < 0) return Failure(static_cast<unsigned long>(status));
    bytes += chunk;
    size -= chunk;
  }
  return Result();
}

}  // namespace platform
