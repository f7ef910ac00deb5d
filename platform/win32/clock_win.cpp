#include "platform/clock.h"

#include <windows.h>

namespace platform {
namespace {

CalendarTime ToCalendarTime(const SYSTEMTIME& parts) {
  CalendarTime time;
  time.year = parts.wYear;
  time.month = parts.wMonth;
  time.day = parts.wDay;
  time.hour = parts.wHour;
  time.minute = parts.wMinute;
  time.second = parts.wSecond;
  time.millisecond = parts.wMilliseconds;
  time.dayOfWeek = parts.wDayOfWeek;
  return time;
}

}  // namespace

std::uint32_t TickCount() {
  return GetTickCount();
}

CalendarTime LocalTime() {
  SYSTEMTIME parts;
  GetLocalTime(&parts);
  return ToCalendarTime(parts);
}

CalendarTime UtcTime() {
  SYSTEMTIME parts;
  GetSystemTime(&parts);
  return ToCalendarTime(parts);
}

}  // namespace platform
