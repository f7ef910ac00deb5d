#include "platform/screen.h"

#include <mutex>

namespace platform {
namespace {

std::mutex areaLock;
std::optional<ScreenRect> area;

}  // namespace

void SetMouseArea(const std::optional<ScreenRect>& newArea) {
  std::lock_guard guard(areaLock);
  area = newArea;
}

std::optional<ScreenRect> MouseArea() {
  std::lock_guard guard(areaLock);
  return area;
}

}  // namespace platform
