#include "common/diagnostic_log.h"

#include <cstdio>
#include <utility>

#include "common/log_set_aside.h"
#include "platform/files.h"

namespace {

constexpr std::size_t kStampLength = 25;  // "2026/12/06-21:43:52.120: "

std::string FormatStamp(const platform::CalendarTime& now) {
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%.4d/%.2d/%.2d-%.2d:%.2d:%.2d.%.3d: ", now.year, now.month,
                now.day, now.hour, now.minute, now.second, now.millisecond);
  return stamp;
}

}  // namespace

DiagnosticLog::DiagnosticLog(std::string path, TimeSource localTime)
    : path_(std::move(path)), localTime_(std::move(localTime)) {
  lastMessage_.reserve(kRememberedLength);
}

void DiagnosticLog::SetPath(std::string path) {
  std::lock_guard guard(lock_);
  path_ = std::move(path);
}

void DiagnosticLog::SetEnabled(bool enabled) {
  std::lock_guard guard(lock_);
  enabled_ = enabled;
}

void DiagnosticLog::SetSizeLimit(std::uint64_t bytes) {
  std::lock_guard guard(lock_);
  sizeLimit_ = bytes;
}

bool DiagnosticLog::IsEnabled() const {
  std::lock_guard guard(lock_);
  return enabled_;
}

void DiagnosticLog::WriteLogLine(std::string_view message) {
  std::lock_guard guard(lock_);
  if (!enabled_) return;

  const std::string_view remembered = message.substr(0, kRememberedLength);
  if (remembered == lastMessage_) {
    ++repeatCount_;
    return;
  }
  lastMessage_.assign(remembered);

  // One open-append-close per message. A failed open keeps the count pending;
  // once the file is open the count goes out with the lines, and a write that
  // then fails loses it like the lines themselves.
  SetLogAsideWhenFull(path_, sizeLimit_, setAsidePath_);
  bool opened = false;
  // A log that cannot be written has nowhere to say so.
  static_cast<void>(platform::AppendToFile(path_, FormatLines(message, localTime_()),
                                           platform::AppendSharing::kExclusive, opened));
  if (opened) repeatCount_ = 0;
}

std::string DiagnosticLog::FormatLines(std::string_view message,
                                       const platform::CalendarTime& now) const {
  const std::string stamp = FormatStamp(now);
  std::string lines;
  lines.reserve(2 * kStampLength + 32 + message.size());
  if (repeatCount_ != 0) {
    lines += stamp;
    lines += "(REPCNT: " + std::to_string(repeatCount_) + ")\r\n";
  }
  lines += stamp;
  lines += message;
  lines += "\r\n";
  return lines;
}

// The traces of a busy server (a log level of 4, every phone's report) come
// from the network and must not fill the disk.
