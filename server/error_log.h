// The engine's own failure log "DIDidezu.log" in the system log folder: one
// line per failure with the failing call, the operation and an error code.
#pragma once

class ErrorLog {
 public:
  ErrorLog();
  virtual ~ErrorLog();

  ErrorLog(const ErrorLog&) = delete;
  ErrorLog& operator=(const ErrorLog&) = delete;

  // function may be null. 1 when the line was written completely.
  int WriteLog(const char* fileName, const char* message, const char* function, int code);
};
