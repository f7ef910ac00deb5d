#include "app/window_placement.h"

#include <cstddef>

namespace {

constexpr std::size_t kLengthOffset = 0;
constexpr std::size_t kShowCommandOffset = 8;
constexpr std::size_t kNormalRectangleOffset = 28;
constexpr std::int32_t kShowNormal = 1;

void Put(WindowPlacementBytes& bytes, std::size_t offset, std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  for (std::size_t i = 0; i < 4; ++i)
    bytes[offset + i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

std::int32_t Get(const WindowPlacementBytes& bytes, std::size_t offset) {
  std::uint32_t bits = 0;
  for (std::size_t i = 0; i < 4; ++i) bits |= std::uint32_t{bytes[offset + i]} << (8 * i);
  return static_cast<std::int32_t>(bits);
}

}  // namespace

WindowPlacementBytes PackWindowPlacement(const NormalRectangle& normal) {
  WindowPlacementBytes bytes{};
  Put(bytes, kLengthOffset, static_cast<std::int32_t>(kWindowPlacementSize));
  Put(bytes, kShowCommandOffset, kShowNormal);
  Put(bytes, kNormalRectangleOffset, normal.left);
  Put(bytes, kNormalRectangleOffset + 4, normal.top);
  Put(bytes, kNormalRectangleOffset + 8, normal.right);
  Put(bytes, kNormalRectangleOffset + 12, normal.bottom);
  return bytes;
}

std::optional<NormalRectangle> UnpackWindowPlacement(const WindowPlacementBytes& placement) {
  if (Get(placement, kLengthOffset) != static_cast<std::int32_t>(kWindowPlacementSize)) {
    return std::nullopt;
  }
  NormalRectangle normal;
  normal.left = Get(placement, kNormalRectangleOffset);
  normal.top = Get(placement, kNormalRectangleOffset + 4);
  normal.right = Get(placement, kNormalRectangleOffset + 8);
  normal.bottom = Get(placement, kNormalRectangleOffset + 12);
  if (normal.right <= normal.left || normal.bottom <= normal.top) return std::nullopt;
  return normal;
}
