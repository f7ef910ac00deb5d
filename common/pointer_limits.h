// Phones are numbered 0 to kPointerCount - 1 everywhere in the system.
#pragma once

inline constexpr int kPointerCount = 80;

inline constexpr bool IsValidPointer(int pointer) {
  return pointer >= 0 && pointer < kPointerCount;
}
