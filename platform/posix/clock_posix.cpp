#include "platform/clock.h"

#include <ctime>

namespace platform {
namespace {

CalendarTime ToCalendarTime(const std::tm& parts, long nanoseconds) {
  CalendarTime time;
  time.year = parts.tm_year + 1900;
  time.month = parts.tm_mon + 1;
  time.day = parts.tm_mday;
  time.hour = parts.tm_hour;
  time.minute = parts.tm_min;
  time.second = parts.tm_sec;
  time.millisecond = static_cast<int>(nanoseconds / 1000000);
  time.dayOfWeek = parts.tm_wday;
  return time;
}

}  // namespace

std::uint32_t TickCount() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const auto milliseconds = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                            static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<std::uint32_t>(milliseconds);
}

CalendarTime LocalTime() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  std::tm parts{};
  localtime_r(&now.tv_sec, &parts);
  return ToCalendarTime(parts, now.tv_nsec);
}

CalendarTime UtcTime() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  std::tm parts{};
  gmtime_r(&now.tv_sec, &parts);
  return ToCalendarTime(parts, now.tv_nsec);
}

}  // namespace platform
