#include "platform/process.h"

#include <windows.h>

#include <mmsystem.h>  // timeBeginPeriod; needs windows.h first

#include <cstdlib>

#include "platform/win32/system_error.h"

namespace platform {
namespace {

// One argument as the C runtime's command line parser reads it back.
void AppendQuoted(std::string& commandLine, const std::string& argument) {
  if (!commandLine.empty()) commandLine += ' ';
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) {
    commandLine += argument;
    return;
  }
  commandLine += '"';
  std::size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes count double before a quote, which itself gets one more.
    commandLine.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    commandLine += c;
  }
  commandLine.append(2 * backslashes, '\\');
  commandLine += '"';
}

}  // namespace

std::uint32_t ProcessId() {
  return GetCurrentProcessId();
}

// Windows ends every thread before the libraries' teardown.
void EndProcess(int code) {
  std::exit(code);
}

// A process that may not be opened at all is another user's, and runs; an
// ended one may still be opened while handles to it live, and tells by its
// signalled state.
bool IsProcessRunning(std::uint32_t id) {
  if (id == 0) return false;
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id);
  if (process == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;
  const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return running;
}

std::uint64_t RaiseOpenFileLimit() {
  return 0;
}

Result TerminateProcessById(std::uint32_t id) {
  if (id == 0) return Failure(ERROR_INVALID_PARAMETER);
  HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, id);
  if (process == nullptr) return LastFailure();
  const Result terminated = TerminateProcess(process, 0) ? Result() : LastFailure();
  CloseHandle(process);
  return terminated;
}

void UseFineSleepGranularity() {
  timeBeginPeriod(1);
}

Result SetEnvironment(const std::string& name, const std::string& value) {
  if (!SetEnvironmentVariableA(name.c_str(), value.c_str())) return LastFailure();
  return Result();
}

ChildProcess::~ChildProcess() {
  CloseInput();
  if (handle_ == 0) return;
  HANDLE process = reinterpret_cast<HANDLE>(handle_);
  if (running_ && WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
    TerminateProcess(process, 1);
    WaitForSingleObject(process, 5000);
  }
  CloseHandle(process);
}

Result ChildProcess::Start(const std::string& program, const std::vector<std::string>& arguments,
                           const std::string& outputFile, bool pipeInput) {
  std::string commandLine;
  AppendQuoted(commandLine, program);
  for (const std::string& argument : arguments) AppendQuoted(commandLine, argument);

  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE output = INVALID_HANDLE_VALUE;
  HANDLE inputRead = INVALID_HANDLE_VALUE;
  HANDLE inputWrite = INVALID_HANDLE_VALUE;
  if (!outputFile.empty() || pipeInput) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  }
  if (!outputFile.empty()) {
    output = CreateFileA(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         &inheritable, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (output == INVALID_HANDLE_VALUE) return LastFailure();
    startup.hStdOutput = output;
  }
  if (pipeInput) {
    if (!CreatePipe(&inputRead, &inputWrite, &inheritable, 0)) {
      const Result failure = LastFailure();
      if (output != INVALID_HANDLE_VALUE) CloseHandle(output);
      return failure;
    }
    SetHandleInformation(inputWrite, HANDLE_FLAG_INHERIT, 0);  // the child gets only its end
    startup.hStdInput = inputRead;
  }
  PROCESS_INFORMATION started{};
  const BOOL ok = CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                                 nullptr, nullptr, &startup, &started);
  const DWORD error = GetLastError();
  if (output != INVALID_HANDLE_VALUE) CloseHandle(output);
  if (inputRead != INVALID_HANDLE_VALUE) CloseHandle(inputRead);
  if (inputWrite != INVALID_HANDLE_VALUE) input_ = reinterpret_cast<std::intptr_t>(inputWrite);
  if (!ok) {
    CloseInput();
    return Failure(error);
  }
  CloseHandle(started.hThread);
  handle_ = reinterpret_cast<std::intptr_t>(started.hProcess);
  id_ = started.dwProcessId;
  running_ = true;
  return Result();
}

Result ChildProcess::WriteInput(const std::string& text) {
  if (input_ == -1) return Failure(ERROR_INVALID_HANDLE);
  DWORD written = 0;
  if (!WriteFile(reinterpret_cast<HANDLE>(input_), text.data(), static_cast<DWORD>(text.size()),
                 &written, nullptr)) {
    return LastFailure();
  }
  if (written != text.size()) return Failure(ERROR_WRITE_FAULT);
  return Result();
}

void ChildProcess::CloseInput() {
  if (input_ == -1) return;
  CloseHandle(reinterpret_cast<HANDLE>(input_));
  input_ = -1;
}

bool ChildProcess::WaitForExit(std::uint32_t timeoutMs, int& exitCode) {
  if (!running_) return false;
  HANDLE process = reinterpret_cast<HANDLE>(handle_);
  if (WaitForSingleObject(process, timeoutMs) != WAIT_OBJECT_0) return false;
  DWORD code = 0;
  GetExitCodeProcess(process, &code);
  exitCode = static_cast<int>(code);
  running_ = false;
  return true;
}

}  // namespace platform
