// The running process and the other processes it deals with.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/result.h"

namespace platform {

std::uint32_t ProcessId();

// True while a process with that id runs (also one this user may not end);
// false for 0 and for an id no process has.
bool IsProcessRunning(std::uint32_t id);

// Ends this process with code once main is done, its standard streams
// flushed. A connection attempt that still waits inside a system library (an
// X display that never answers) would crash in the library's teardown at
// exit: the process then ends without that teardown.
[[noreturn]] void EndProcess(int code);

// Ends the process with that id: TerminateProcess with exit code 0 on
// Windows, SIGTERM on Linux. Fails when there is no such process or it may
// not be ended. Ids 0 and those that name process groups on Linux are refused.
Result TerminateProcessById(std::uint32_t id);

// Sets a variable of this process's environment, which started programs inherit.
Result SetEnvironment(const std::string& name, const std::string& value);

// Raises this process's soft limit on open descriptors (sockets included) to
// its hard limit. Returns the limit now in force, or 0 where the system has
// no such limit per process (Windows).
std::uint64_t RaiseOpenFileLimit();

// Lets this process sleep in steps of about 1 ms (Windows defaults to 15.6 ms).
void UseFineSleepGranularity();

// A program started by this one. The destructor ends it if it still runs.
class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts program with arguments; its standard output goes to outputFile
  // (created or truncated) or, when that is empty, where this one's goes.
  // With pipeInput its standard input is a pipe fed by WriteInput.
  Result Start(const std::string& program, const std::vector<std::string>& arguments,
               const std::string& outputFile, bool pipeInput = false);
  Result WriteInput(const std::string& text);
  // The child then reads the end of its input.
  void CloseInput();
  std::uint32_t Id() const { return id_; }
  // Waits up to timeoutMs for the end; true and the exit code once it ended.
  bool WaitForExit(std::uint32_t timeoutMs, int& exitCode);

 private:
  std::intptr_t handle_ = 0;
  std::intptr_t input_ = -1;
  std::uint32_t id_ = 0;
  bool running_ = false;
};

}  // namespace platform
