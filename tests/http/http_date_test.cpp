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

}  // namespace
