#include "server/error_log.h"

#include <cstdio>
#include <cstring>

#include "common/log_set_aside.h"
#include "common/program_paths.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "server/time_stamp.h"

ErrorLog::ErrorLog() = default;
ErrorLog::~ErrorLog() = default;

bool ErrorLog::BuildPath(const char* fileName) {
  const std::string folder =
      folderOverride_.empty() ? platform::SystemLogFolder() : folderOverride_;
  if (folder.empty()) return false;
  path_ = JoinPath(folder, fileName);
  return true;
}

// Lines from the network (a malformed request each) must not fill the disk:
// a full file becomes "<name>.1", replacing an older one, and a new one begins.
int ErrorLog::WriteLog(const char* fileName, const char* message, const char* function, int code) {
  char heard[sizeof line_];
  std::size_t heardLength = 0;
  const int written = WriteLine(fileName, message, function, code, heard, heardLength);
  if (heardLength != 0)
    listener_(ErrorLogLine{std::string_view(heard, heardLength), function, code});
  return written;
}

// The file is opened, appended to and closed for every line, so each line is
// on disk when the call returns. Lines end in CR LF on every system.
int ErrorLog::WriteLine(const char* fileName, const char* message, const char* function, int code,
                        char* heard, std::size_t& heardLength) {
  platform::LockGuard guard(lock_);
  timeOfLine_ = platform::LocalTime();
  if (fileName == nullptr || fileName[0] == '\0' || message == nullptr || message[0] == '\0') {
    return 0;
  }
  FormatLogTimeStamp(timeOfLine_, timeText_, sizeof timeText_);
  const int length =
      function != nullptr
          ? std::snprintf(line_, sizeof line_, "%s - %s.\t[%s]\t[%d]\r\n", timeText_, message,
                          function, code)
          : std::snprintf(line_, sizeof line_, "%s - %s.\t[%d]\r\n", timeText_, message, code);
  if (length < 0) return 0;
  const std::size_t stored = static_cast<std::size_t>(length) < sizeof line_
                                 ? static_cast<std::size_t>(length)
                                 : sizeof line_ - 1;
  if (listener_) {
    heardLength = std::string_view(line_, stored).find_last_not_of("\r\n") + 1;
    std::memcpy(heard, line_, heardLength);
  }
  if (!BuildPath(fileName)) return 0;
  SetLogAsideWhenFull(path_, sizeLimit_, setAsidePath_);
  // Opened shared, so that a viewer holding the file open costs no line.
  return platform::AppendToFile(path_, std::string_view(line_, stored),
                                platform::AppendSharing::kShared)
             ? 1
             : 0;
}
