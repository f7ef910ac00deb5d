#include "server/threaded_server.h"

#include <cerrno>

namespace {

const char kLogFile[] = "DIDidezu.log";

// Engine threads give the shutdown this long to end by themselves.
constexpr int kEngineThreadEndWaitMs = 1000;
constexpr int kClientPollMs = 100;

}  // namespace

ThreadedServer::ThreadedServer() = default;

// Does not stop a running server; the owner calls Shutdown first. Threads
// that have deregistered are past their last use of this object.
ThreadedServer::~ThreadedServer() {
  for (platform::Thread& thread : finishedThreads_) thread.WaitForEnd(kEngineThreadEndWaitMs);
}

void ThreadedServer::ResetStatistics() {
  requestCount_ = 0;
  kbSent_ = 0;
  kbReceived_ = 0;
}

void ThreadedServer::GetStatistics(ServerStats& stats) {
  stats.requests = requestCount_.load();
  stats.kbSent = kbSent_.load();
  stats.kbReceived = kbReceived_.load();
  platform::LockGuard guard(listLock_);
  stats.activeConnections = static_cast<int>(activeClients_.size());
  stats.visitors = static_cast<int>(visitors_.size());
}

int ThreadedServer::Run(int port, int persistenceTimeoutMs) {
  if (running_) return 0;
  port_ = port;
  persistenceTimeoutMs_ = persistenceTimeoutMs;
  ResetStatistics();
  if (!startupEvent_.IsValid()) return 0;
  startupEvent_.Reset();

  if (!StartEngineThread(acceptThread_, AcceptThread,
                         "_beginthreadex(...) failure, for Launch Thread")) {
    return 0;
  }
  if (!AwaitStartup("Unable to get response from Accept Thread withing specified Timeout ->")) {
    // The accept thread gave up on its own (its failure is in the log).
    acceptThread_.WaitForEnd(kEngineThreadEndWaitMs);
    acceptThread_.Close();
    return 0;
  }
  startupEvent_.Reset();
  if (!StartEngineThread(helperThread_, HelperThread,
                         "_beginthreadex(...) failure, for Helper Thread") ||
      !AwaitStartup("Unable to get response from Helper Thread within specified Timeout ->")) {
    // The accept thread listens already: a failed start must not leave it so.
    StopEngine();
    return 0;
  }
  running_ = 1;
  return 1;
}

int ThreadedServer::StartThread(platform::Thread& thread, platform::Thread::Function function,
                                void* argument) {
  if (threadStartsUntilFailure_.load() > 0 && threadStartsUntilFailure_.fetch_sub(1) == 1) {
    return EAGAIN;
  }
  return thread.Start(function, argument);
}

bool ThreadedServer::StartEngineThread(platform::Thread& thread,
                                       platform::Thread::Function function,
                                       const char* failureMessage) {
  const int error = StartThread(thread, function, this);
  if (error == 0) return true;
  WriteLog(kLogFile, failureMessage, "Run", error);
  return false;
}

bool ThreadedServer::AwaitStartup(const char* timeoutMessage) {
  if (startupEvent_.Wait(startupWaitMs_)) return true;
  WriteLog(kLogFile, timeoutMessage, "Run", startupWaitMs_);
  return false;
}

int ThreadedServer::Shutdown() {
  if (!running_) return 0;
  const int result = StopEngine();
  running_ = 0;
  return result;
}

// Ends the accept and helper threads (those that run), waits for every
// client thread, then releases what they shared.
int ThreadedServer::StopEngine() {
  shutdownEvent_.Signal();
  int result = 1;
  if (!platform::WaitForBothThreads(acceptThread_, helperThread_, kEngineThreadEndWaitMs)) {
    WriteLog(kLogFile, "WaitForMultipleObjects(...) timed out", "Shutdown", 0);
    if (const int error = acceptThread_.Terminate()) {
      WriteLog(kLogFile, "TerminateThread(.ThreadA.) failure, probably it is already terminated",
               "Shutdown", error);
    }
    if (const int error = helperThread_.Terminate()) {
      WriteLog(kLogFile, "TerminateThread(.ThreadC.) failure, probably it is already terminated",
               "Shutdown", error);
    }
    result = 0;
  }
  acceptThread_.Close();
  helperThread_.Close();
  WaitForClientsToEnd();
  shutdownEvent_.Close();
  if (socketLibraryStarted_) platform::StopSocketLibrary();
  socketLibraryStarted_ = false;
  return result;
}

void ThreadedServer::WaitForClientsToEnd() {
  while (ActiveClientCount() != 0) platform::SleepMs(kClientPollMs);
}

int ThreadedServer::ActiveClientCount() {
  platform::LockGuard guard(listLock_);
  return static_cast<int>(activeClients_.size());
}

void ThreadedServer::RememberVisitor(const char* address) {
  platform::LockGuard guard(listLock_);
  for (const std::string& visitor : visitors_) {
    if (visitor == address) return;
  }
  visitors_.emplace_back(address);
}

int ThreadedServer::AddClient(platform::Socket socket, const char* address,
                              std::uint16_t portNetworkOrder) {
  OnClientAccepted(address, portNetworkOrder);
  RememberVisitor(address);
  ++requestCount_;

  // Held until the entry is listed, so that a client thread that ends at once
  // finds its own entry when it deregisters.
  platform::LockGuard registration(registrationLock_);
  auto* startBlock = new ClientStartBlock{this, std::move(socket)};
  platform::Thread thread;
  const int error = StartThread(thread, ClientThread, startBlock);
  if (error != 0) {
    WriteLog(kLogFile, "_beginthreadex(...) failure", "AddClient", error);
    delete startBlock;  // closes the connection: nobody would serve it
    return 0;
  }
  const std::uint32_t threadId = thread.Id();
  platform::LockGuard list(listLock_);
  activeClients_.push_back(ClientEntry{std::move(thread), threadId});
  return 1;
}

void ThreadedServer::RemoveClient(platform::NetEvent* socketEvent, ClientStartBlock* startBlock,
                                  std::uint32_t threadId) {
  if (socketEvent != nullptr) socketEvent->Close();
  startBlock->socket.Close();
  {
    platform::LockGuard registration(registrationLock_);
    delete startBlock;
  }
  platform::LockGuard list(listLock_);
  for (auto entry = activeClients_.begin(); entry != activeClients_.end(); ++entry) {
    if (entry->threadId == threadId) {
      finishedThreads_.push_back(std::move(entry->thread));
      activeClients_.erase(entry);
      return;
    }
  }
  WriteLog(kLogFile, "Thread not found in the list", "ClientThread", 0);
}
