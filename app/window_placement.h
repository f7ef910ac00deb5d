// The window placement record as the Windows program stores it under
// General/WindowPos: 44 bytes, little-endian 32-bit fields in the order
// length, flags, show command, minimised position (x, y), maximised position
// (x, y) and the normal rectangle (left, top, right, bottom). A window of
// another toolkit keeps only the normal rectangle in it, so the record stays
// readable by both programs.
#pragma once

#include <cstdint>
#include <optional>

#include "app/settings.h"

struct NormalRectangle {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
};

// A record whose show command is "normal", so that the Windows program shows
// its window from it, and whose other fields are zero.
WindowPlacementBytes PackWindowPlacement(const NormalRectangle& normal);

// Empty when the record's length field is not 44 or its rectangle is empty.
std::optional<NormalRectangle> UnpackWindowPlacement(const WindowPlacementBytes& placement);
