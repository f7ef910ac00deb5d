// The engine's own failure log "DIDidezu.log" in the system log folder: one
// line per failure with the failing call, the operation and an error code.
#pragma once

#include <cstdint>
#include <string>

#include "platform/clock.h"
#include "platform/thread.h"

class ErrorLog {
 public:
  ErrorLog();
  virtual ~ErrorLog();

  ErrorLog(const ErrorLog&) = delete;
  ErrorLog& operator=(const ErrorLog&) = delete;

  // function may be null. 1 when the line was written completely.
  int WriteLog(const char* fileName, const char* message, const char* function, int code);

 protected:
  // Writes into folder instead of the system log folder (tests).
  void SetLogFolder(std::string folder) { folderOverride_ = std::move(folder); }
  // The size past which the file is set aside as "<name>.1" (tests shrink it).
  void SetSizeLimit(std::uint64_t bytes) { sizeLimit_ = bytes; }

  static constexpr std::uint64_t kSizeLimit = 10 * 1024 * 1024;

 private:
  bool BuildPath(const char* fileName);
  void SetAsideWhenFull();

  // Used only under lock_, so that no line needs memory of its own.
  std::string folderOverride_;
  std::string path_;
  std::string setAsidePath_;
  std::uint64_t sizeLimit_ = kSizeLimit;
  char line_[1024] = {};
  char timeText_[128] = {};
  platform::CalendarTime timeOfLine_;
  platform::Lock lock_;
};
