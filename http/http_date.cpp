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
