#include "http/http_date.h"

#include <gtest/gtest.h>

#include <clocale>

#include "tests/support/fixed_clock.h"

namespace {

// Late in its second, which the date must not round up.
platform::CalendarTime Time(int year, int month, int day, int dayOfWeek, int hour, int minute,
                            int second) {
  return CalendarTimeOf(year, month, day, dayOfWeek, hour, minute, second, 999);
}

TEST(HttpDateTest, EnglishNamesAndPaddedFieldsWhateverTheLocale) {
  std::setlocale(LC_ALL, "");  // whatever the machine prefers must not matter
  char area[kHttpDateCapacity];
  EXPECT_EQ(FormatHttpDate(Time(2026, 12, 7, 1, 20, 44, 52), area),
            "Mon, 07 Dec 2026 20:44:52 GMT");
  EXPECT_EQ(FormatHttpDate(Time(2027, 1, 3, 0, 0, 0, 5), area), "Sun, 03 Jan 2027 00:00:05 GMT");
  EXPECT_EQ(FormatHttpDate(Time(2028, 2, 26, 6, 9, 5, 0), area), "Sat, 26 Feb 2028 09:05:00 GMT");
  std::setlocale(LC_ALL, "C");
}

// Leap days, the turn of a century and of a year, and the last second of a day.
TEST(HttpDateTest, SecondsSince1970BecomeTheirCalendarDate) {
  const struct {
    std::int64_t seconds;
    const char* date;
  } cases[] = {
      {0, "Thu, 01 Jan 1970 00:00:00 GMT"},          {951782400, "Tue, 29 Feb 2000 00:00:00 GMT"},
      {1577836799, "Tue, 31 Dec 2019 23:59:59 GMT"}, {1796687092, "Mon, 07 Dec 2026 23:44:52 GMT"},
      {4107542400, "Mon, 01 Mar 2100 00:00:00 GMT"},
  };
  char area[kHttpDateCapacity];
  for (const auto& c : cases) EXPECT_EQ(FormatHttpDate(UtcCalendarOf(c.seconds), area), c.date);
}

}  // namespace
