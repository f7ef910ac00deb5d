// Phones are numbered 0 to kPointerCount - 1 everywhere in the system.
#pragma once

#include <cstdint>

inline constexpr int kPointerCount = 80;

inline constexpr bool IsValidPointer(int pointer) {
  return pointer >= 0 && pointer < kPointerCount;
}

// A pointer counts as silent after more than this many milliseconds without a report.
inline constexpr std::uint32_t kSilenceMs = 1000;
