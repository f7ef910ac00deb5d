// The engine's own failure log "DIDidezu.log" in the system log folder: one
// line per failure with the failing call, the operation and an error code.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/thread.h"

// The name of the log file, which every writer of the engine and the request
// handler passes to WriteLog.
inline constexpr char kErrorLogFileName[] = "DIDidezu.log";

// One line as it went to the log, without its line end.
struct ErrorLogLine {
  std::string_view text;
  const char* function;  // may be null
  int code;
};

class ErrorLog {
 public:
  // Hears every line the moment it is written, on the writer's thread and
  // outside the log's lock; it hears a line even when the file could not take it.
  using Listener = std::function<void(const ErrorLogLine&)>;

  ErrorLog();
  virtual ~ErrorLog();

  ErrorLog(const ErrorLog&) = delete;
  ErrorLog& operator=(const ErrorLog&) = delete;

  // function may be null. 1 when the line was written completely.
  int WriteLog(const char* fileName, const char* message, const char* function, int code);

  // Set or cleared only while no engine thread runs.
  void SetListener(Listener listener) { listener_ = std::move(listener); }

 protected:
  // Writes into folder instead of the system log folder (tests).
  void SetLogFolder(std::string folder) { folderOverride_ = std::move(folder); }
  // The size past which the file is set aside as "<name>.1" (tests shrink it).
  void SetSizeLimit(std::uint64_t bytes) { sizeLimit_ = bytes; }

  static constexpr std::uint64_t kSizeLimit = 10 * 1024 * 1024;

 private:
  bool BuildPath(const char* fileName);
  // Formats and appends the line under the lock; copies it to heard (of
  // sizeof line_ bytes) when a listener waits for it.
  int WriteLine(const char* fileName, const char* message, const char* function, int code,
                char* heard, std::size_t& heardLength);

  // Used only under lock_, so that no line needs memory of its own.
  std::string folderOverride_;
  std::string path_;
  std::string setAsidePath_;
  std::uint64_t sizeLimit_ = kSizeLimit;
  char line_[1024] = {};
  char timeText_[128] = {};
  platform::CalendarTime timeOfLine_;
  platform::Lock lock_;
  Listener listener_;
};
