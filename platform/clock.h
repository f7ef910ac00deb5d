// Time sources: the millisecond tick count and calendar time.
#pragma once

#include <cstdint>

namespace platform {

// Milliseconds since an arbitrary start, monotonic, wrapping at 2^32 like the
// Windows tick count. Compare ticks by unsigned difference only.
std::uint32_t TickCount();

struct CalendarTime {
  int year = 0;
  int month = 0;  // 1 to 12
  int day = 0;    // 1 to 31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
  int dayOfWeek = 0;  // 0 = Sunday
};

CalendarTime LocalTime();
CalendarTime UtcTime();

}  // namespace platform
