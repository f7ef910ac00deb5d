// What shared memory does the same on every system.
#include "platform/shared_memory.h"

namespace platform {

SharedMemory::~SharedMemory() {
  UnmapView();
  static_cast<void>(Close());
}

}  // namespace platform
