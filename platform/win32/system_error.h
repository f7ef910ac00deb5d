// Where this backend turns the system's report of a failure into a Result:
// GetLastError after a Win32 call, WSAGetLastError after a Windows Sockets
// call, errno after a C runtime call, or the code a call returns itself
// (WSAStartup). A failure never reads as success, even when the system left
// its last error at 0.
#pragma once

#include <windows.h>

#include <cerrno>

#include "platform/result.h"

namespace platform {

inline Result Failure(unsigned long code) {
  return Result(static_cast<int>(code != 0 ? code : ERROR_GEN_FAILURE));
}

// Read right after the failing call, before anything else can change it.
inline Result LastFailure() {
  return Failure(GetLastError());
}

// The C runtime's errno, which the caller cleared before the call. A thread
// start that the runtime refuses without saying why lacked resources.
inline Result LastRuntimeFailure() {
  return Result(errno != 0 ? errno : EAGAIN);
}

// Windows Sockets keeps its own last error; include winsock2.h before this.
#ifdef _WINSOCK2API_
inline Result LastSocketFailure() {
  return Failure(static_cast<unsigned long>(WSAGetLastError()));
}
#endif

}  // namespace platform
