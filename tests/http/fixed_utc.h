// The moment the HTTP tests' Date headers are stamped with:
// "Mon, 07 Dec 2026 20:44:52 GMT".
#pragma once

#include "platform/clock.h"

inline platform::CalendarTime FixedUtc() {
  platform::CalendarTime time;
  time.year = 2026;
  time.month = 12;
  time.day = 7;
  time.dayOfWeek = 1;
  time.hour = 20;
  time.minute = 44;
  time.second = 52;
  return time;
}
