// The Date header's text: "Mon, 07 Dec 2026 20:44:52 GMT", always with
// English day and month names, whatever the locale.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/clock.h"

// Room for the date text, terminator included.
inline constexpr std::size_t kHttpDateCapacity = 128;

// Formats a UTC time into area and returns the text (a view into area).
std::string_view FormatHttpDate(const platform::CalendarTime& utc, char (&area)[kHttpDateCapacity]);

// The UTC calendar time of a count of seconds since 1 January 1970.
platform::CalendarTime UtcCalendarOf(std::int64_t secondsSince1970);
