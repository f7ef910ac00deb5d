#include "platform/screen.h"

#include <windows.h>

namespace platform {

bool PrimaryScreenSize(int& width, int& height) {
  width = GetSystemMetrics(SM_CXSCREEN);
  height = GetSystemMetrics(SM_CYSCREEN);
  return width > 0 && height > 0;
}

}  // namespace platform
