#include "http/http_date.h"

#include <cstdio>

namespace {

constexpr const char* kDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

const char* NameAt(const char* const* names, int count, int index) {
  return index >= 0 && index < count ? names[index] : "???";
}

}  // namespace

std::string_view FormatHttpDate(const platform::CalendarTime& utc,
                                char (&area)[kHttpDateCapacity]) {
  const int length = std::snprintf(
      area, sizeof area, "%s, %02d %s %d %02d:%02d:%02d GMT", NameAt(kDayNames, 7, utc.dayOfWeek),
      utc.day, NameAt(kMonthNames, 12, utc.month - 1), utc.year, utc.hour, utc.minute, utc.second);
  if (length < 0) return {};
  return std::string_view(area, static_cast<std::size_t>(length) < sizeof area
                                    ? static_cast<std::size_t>(length)
                                    : sizeof area - 1);
}

// Days to a civil date: the proleptic Gregorian calendar in eras of 400 years.
platform::CalendarTime UtcCalendarOf(std::int64_t secondsSince1970) {
  constexpr std::int64_t kSecondsPerDay = 86400;
  std::int64_t days = secondsSince1970 / kSecondsPerDay;
  std::int64_t rest = secondsSince1970 % kSecondsPerDay;
  if (rest < 0) {
    rest += kSecondsPerDay;
    --days;
  }
  platform::CalendarTime time;
  time.hour = static_cast<int>(rest / 3600);
  time.minute = static_cast<int>(rest / 60 % 60);
  time.second = static_cast<int>(rest % 60);
  time.dayOfWeek = static_cast<int>(((days + 4) % 7 + 7) % 7);  // 1 January 1970 was a Thursday
  const std::int64_t shifted = days + 719468;                   // days since 1 March of the year 0
  const std::int64_t era = (shifted >= 0 ? shifted : shifted - 146096) / 146097;
  const std::int64_t dayOfEra = shifted - era * 146097;
  const std::int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
  time.day = static_cast<int>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
  time.month = static_cast<int>(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
  time.year = static_cast<int>(yearOfEra + era * 400 + (time.month <= 2 ? 1 : 0));
  return time;
}
