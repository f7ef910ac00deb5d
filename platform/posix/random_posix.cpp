#include "platform/random.h"

#include <sys/random.h>

#include <cerrno>

#include "platform/posix/system_error.h"

namespace platform {

// getrandom blocks only until the system's pool was first seeded; requests of
// up to 256 bytes are not cut short, larger ones may be and are continued.
Result FillRandomBytes(void* buffer, std::size_t size) {
  auto* bytes = static_cast<unsigned char*>(buffer);
  while (size > 0) {
    const ssize_t got = getrandom(bytes, size, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return LastFailure();
    }
    bytes += got;
    size -= static_cast<std::size_t>(got);
  }
  return Result();
}

}  // namespace platform
