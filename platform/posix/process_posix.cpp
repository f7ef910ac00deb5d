#include "platform/process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "platform/posix/background_connection.h"
#include "platform/posix/system_error.h"

extern char** environ;

namespace platform {

std::uint32_t ProcessId() {
  return static_cast<std::uint32_t>(getpid());
}

// Only the output streams: fflush(nullptr) would also wait for stdin's
// lock, which a reader blocked in a read holds.
void EndProcess(int code) {
  std::fflush(stdout);
  std::fflush(stderr);
  if (backgroundAttemptsRunning > 0) std::_Exit(code);
  std::exit(code);
}

// Signal 0 only asks: EPERM still means that the process is there.
bool IsProcessRunning(std::uint32_t id) {
  if (id == 0 || id > static_cast<std::uint32_t>(INT_MAX)) return false;
  return kill(static_cast<pid_t>(id), 0) == 0 || errno == EPERM;
}

// Every connection holds a descriptor; the common soft limit of 1024 would
// refuse clients long before the system runs short.
std::uint64_t RaiseOpenFileLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
  if (limit.rlim_cur != limit.rlim_max) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max;
    if (setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  return static_cast<std::uint64_t>(limit.rlim_cur);
}

Result TerminateProcessById(std::uint32_t id) {
  // kill() reads 0 and negative ids as whole process groups.
  if (id == 0 || id > static_cast<std::uint32_t>(INT_MAX)) return Failure(EINVAL);
  if (kill(static_cast<pid_t>(id), SIGTERM) != 0) return LastFailure();
  return Result();
}

void UseFineSleepGranularity() {}  // Linux sleeps are fine-grained already

Result SetEnvironment(const std::string& name, const std::string& value) {
  if (setenv(name.c_str(), value.c_str(), 1) != 0) return LastFailure();
  return Result();
}

ChildProcess::~ChildProcess() {
  CloseInput();
  if (!running_) return;
  kill(static_cast<pid_t>(id_), SIGKILL);
  waitpid(static_cast<pid_t>(id_), nullptr, 0);
}

Result ChildProcess::Start(const std::string& program, const std::vector<std::string>& arguments,
                           const std::string& outputFile, bool pipeInput) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!outputFile.empty()) {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
  }
  int inputPipe[2] = {-1, -1};
  if (pipeInput) {
    if (pipe2(inputPipe, O_CLOEXEC) != 0) {
      const Result failure = LastFailure();
      posix_spawn_file_actions_destroy(&actions);
      return failure;
    }
    posix_spawn_file_actions_adddup2(&actions, inputPipe[0], STDIN_FILENO);
    signal(SIGPIPE, SIG_IGN);  // a child that has ended must not end the writer
  }
  pid_t pid = 0;
  const int result = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (pipeInput) {
    close(inputPipe[0]);
    input_ = inputPipe[1];
  }
  if (result != 0) {
    CloseInput();
    return Failure(result);
  }
  id_ = static_cast<std::uint32_t>(pid);
  handle_ = pid;
  running_ = true;
  return Result();
}

Result ChildProcess::WriteInput(const std::string& text) {
  if (input_ < 0) return Failure(EBADF);
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t written = write(static_cast<int>(input_), text.data() + done, text.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return LastFailure();
    if (written == 0) return Failure(EIO);
    done += static_cast<std::size_t>(written);
  }
  return Result();
}

void ChildProcess::CloseInput() {
  if (input_ < 0) return;
  close(static_cast<int>(input_));
  input_ = -1;
}

bool ChildProcess::WaitForExit(std::uint32_t timeoutMs, int& exitCode) {
  if (!running_) return false;
  const timespec step{0, 5'000'000};
  for (std::uint32_t waited = 0;; waited += 5) {
    int status = 0;
    const pid_t done = waitpid(static_cast<pid_t>(id_), &status, WNOHANG);
    if (done == static_cast<pid_t>(id_)) {
      running_ = false;
      exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      return true;
    }
    if (done < 0 || waited >= timeoutMs) return false;
    nanosleep(&step, nullptr);
  }
}

}  // namespace platform
