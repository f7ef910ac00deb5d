// Calendar times for the clocks the tests inject, so that whatever is stamped
// with them (Date headers, log lines) can be compared as text.
#pragma once

#include "platform/clock.h"

// dayOfWeek: 0 = Sunday, as the platform gives it.
inline platform::CalendarTime CalendarTimeOf(int year, int month, int day, int dayOfWeek,
                                             int hour = 0, int minute = 0, int second = 0,
                                             int millisecond = 0) {
  platform::CalendarTime time;
  time.year = year;
  time.month = month;
  time.day = day;
  time.dayOfWeek = dayOfWeek;
  time.hour = hour;
  time.minute = minute;
  time.second = second;
  time.millisecond = millisecond;
  return time;
}

// The moment the HTTP tests' Date headers are stamped with:
// "Mon, 07 Dec 2026 20:44:52 GMT".
inline platform::CalendarTime FixedUtc() {
  return CalendarTimeOf(2026, 12, 7, 1, 20, 44, 52);
}
