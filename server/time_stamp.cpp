#include "server/time_stamp.h"

#include <cstdio>

namespace {

const char* const kDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

const char* DayName(int dayOfWeek) {
  return dayOfWeek >= 0 && dayOfWeek <= 6 ? kDayNames[dayOfWeek] : "???";
}

const char* MonthName(int month) {
  return month >= 1 && month <= 12 ? kMonthNames[month - 1] : "???";
}

}  // namespace

void FormatLogTimeStamp(const platform::CalendarTime& time, char* buffer, std::size_t capacity) {
  std::snprintf(buffer, capacity, "%s, %02d %s %04d %02d:%02d:%02d", DayName(time.dayOfWeek),
                time.day, MonthName(time.month), time.year, time.hour, time.minute, time.second);
}
