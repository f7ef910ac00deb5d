// Time stamps of the server's error log, in English whatever the locale.
#pragma once

#include <cstddef>

#include "platform/clock.h"

// "Sun, 06 Dec 2026 21:36:39" into buffer (cut to capacity - 1 characters).
void FormatLogTimeStamp(const platform::CalendarTime& time, char* buffer, std::size_t capacity);
