// The time-stamped trace file beside each program. A message identical to the
// one before it is only counted; the count is written as a line of its own when
// the next different message arrives. Past a size limit the file is set aside
// as "<name>.1", replacing an older one, and a new one begins.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/clock.h"

class DiagnosticLog {
 public:
  using TimeSource = std::function<platform::CalendarTime()>;

  explicit DiagnosticLog(std::string path = {}, TimeSource localTime = platform::LocalTime);

  DiagnosticLog(const DiagnosticLog&) = delete;
  DiagnosticLog& operator=(const DiagnosticLog&) = delete;

  // Set once at start-up, before the first message.
  void SetPath(std::string path);
  const std::string& Path() const { return path_; }

  // The log starts switched on; the settings reader switches it.
  void SetEnabled(bool enabled);
  bool IsEnabled() const;

  // Writes one line (or counts a repeat). Never fails towards the caller.
  void WriteLogLine(std::string_view message);

  // Longer messages are written whole but remembered only up to this length.
  static constexpr std::size_t kRememberedLength = 4999;

  // The size past which the file is set aside; tests shrink it.
  static constexpr std::uint64_t kSizeLimit = 50 * 1024 * 1024;
  void SetSizeLimit(std::uint64_t bytes);

 private:
  std::string FormatLines(std::string_view message, const platform::CalendarTime& now) const;

  mutable std::mutex lock_;
  std::string path_;
  TimeSource localTime_;
  bool enabled_ = true;
  std::string lastMessage_;
  int repeatCount_ = 0;
  std::uint64_t sizeLimit_ = kSizeLimit;
  std::string setAsidePath_;  // used only under lock_
};
