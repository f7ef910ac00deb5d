#include "server/threaded_server.h"

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <utility>

namespace {

// Engine threads give the shutdown this long to end by themselves.
constexpr int kEngineThreadEndWaitMs = 1000;
constexpr int kClientPollMs = 100;
constexpr int kWaitWithoutLimit = -1;

}  // namespace

ThreadedServer::ThreadedServer() = default;

// Does not stop a running server; the owner calls Shutdown first, after
// which no client thread is left.
ThreadedServer::~ThreadedServer() {
  JoinEndedThreads();
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
  {
    platform::LockGuard guard(listLock_);
    stats.activeConnections = static_cast<int>(activeClients_.size());
  }
  platform::LockGuard guard(visitorLock_);
  stats.visitors = static_cast<int>(visitors_.Count());
  stats.visitorsCapped = visitors_.Capped();
  stats.refusedPhones = static_cast<int>(refusedPhones_.Count());
  stats.refusedPhonesCapped = refusedPhones_.Capped();
}

int ThreadedServer::WaitingClientThreads() {
  platform::LockGuard guard(listLock_);
  return static_cast<int>(waitingWorkers_.size());
}

int ThreadedServer::Run(int port, int persistenceTimeoutMs) {
  if (running_) return 0;
  port_ = port;
  persistenceTimeoutMs_ = persistenceTimeoutMs;
  {
    platform::LockGuard list(listLock_);
    stopping_ = false;
  }
  ResetStatistics();
  if (!startupEvent_.IsValid()) return 0;
  startupEvent_.Reset();
  acceptGaveUp_ = false;

  if (!StartEngineThread(acceptThread_, AcceptThread,
                         "_beginthreadex(...) failure, for Launch Thread")) {
    return 0;
  }
  if (!AwaitStartup("Unable to get response from Accept Thread withing specified Timeout ->") ||
      acceptGaveUp_) {
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
                                void* argument, std::size_t stackBytes) {
  return socketCalls_.startThread(thread, function, argument, stackBytes).Code();
}

bool ThreadedServer::StartEngineThread(platform::Thread& thread,
                                       platform::Thread::Function function,
                                       const char* failureMessage) {
  const int error = StartThread(thread, function, this);
  if (error == 0) return true;
  WriteLog(kErrorLogFileName, failureMessage, "Run", error);
  return false;
}

bool ThreadedServer::AwaitStartup(const char* timeoutMessage) {
  if (startupEvent_.Wait(startupWaitMs_)) return true;
  WriteLog(kErrorLogFileName, timeoutMessage, "Run", startupWaitMs_);
  return false;
}

int ThreadedServer::Shutdown() {
  if (!running_) return 0;
  const int result = StopEngine();
  running_ = 0;
  return result;
}

// Ends the accept and helper threads (those that run), then every client
// thread, then releases what they shared. No thread is ended by force: one
// that is stopped in the middle of an allocation or a thread start could
// leave the heap or the loader locked for good, and every later allocation
// would wait for ever.
int ThreadedServer::StopEngine() {
  // Unsignalled, the threads do not end: the wait below times out and logs it.
  static_cast<void>(shutdownEvent_.Signal());
  int result = 1;
  if (!platform::WaitForBothThreads(acceptThread_, helperThread_, kEngineThreadEndWaitMs)) {
    WriteLog(kErrorLogFileName, "WaitForMultipleObjects(...) timed out", "Shutdown", 0);
    platform::WaitForBothThreads(acceptThread_, helperThread_, kWaitWithoutLimit);
    result = 0;
  }
  acceptThread_.Close();
  helperThread_.Close();
  WakeWaitingThreadsToEnd();
  WaitForClientsToEnd();
  JoinEndedThreads();
  shutdownEvent_.Close();
  if (socketLibraryStarted_) platform::StopSocketLibrary();
  socketLibraryStarted_ = false;
  return result;
}

// Threads that serve a connection end on the shutdown event; waiting ones
// were woken to end. Both deregister themselves.
void ThreadedServer::WaitForClientsToEnd() {
  for (;;) {
    {
      platform::LockGuard list(listLock_);
      if (activeClients_.empty() && waitingWorkers_.empty()) return;
    }
    platform::SleepMs(kClientPollMs);
  }
}

void ThreadedServer::RememberVisitor(std::uint32_t address, bool refused) {
  platform::LockGuard guard(visitorLock_);
  (refused ? refusedPhones_ : visitors_).Add(address);
}

int ThreadedServer::AddClient(platform::Socket socket, const platform::PeerAddress& peer) {
  ClientAddress client;
  std::copy(std::begin(peer.bytes), std::end(peer.bytes), client.bytes);
  char address[16];
  client.Format(address);
  OnClientAccepted(address, peer.portNetworkOrder);
  ++requestCount_;
  auto* startBlock = new ClientStartBlock{this, std::move(socket), client};
  if (HandToWaitingThread(startBlock)) return 1;
  return StartClientThread(startBlock);
}

// The thread that waited least is taken: its stack is the likeliest to be
// warm, and the others run into their time limit when fewer are needed.
bool ThreadedServer::HandToWaitingThread(ClientStartBlock* startBlock) {
  ClientWorker* worker = nullptr;
  {
    platform::LockGuard list(listLock_);
    if (waitingWorkers_.empty()) return false;
    const auto last = std::prev(waitingWorkers_.end());
    worker = last->get();
    worker->handedOver = startBlock;
    activeClients_.splice(activeClients_.end(), waitingWorkers_, last);
  }
  // Once off the waiting list the thread stays until it has served this.
  worker->wake.Set();
  return true;
}

int ThreadedServer::StartClientThread(ClientStartBlock* startBlock) {
  // Held until the entry has its thread's id, so that a client thread that
  // ends at once finds its own entry when it deregisters.
  platform::LockGuard registration(registrationLock_);
  auto worker = std::make_unique<ClientWorker>();
  worker->server = this;
  worker->handedOver = startBlock;
  ClientWorker& listed = *worker;
  // Listed before it starts: the connection counts as active from its
  // first reply on, however late this thread runs again.
  {
    platform::LockGuard list(listLock_);
    activeClients_.push_back(std::move(worker));
  }
  const int error = listed.wake.IsValid()
                        ? StartThread(listed.thread, ClientThread, &listed, kClientThreadStackBytes)
                        : ENOMEM;
  if (error != 0) {
    // Off the list before anything shows the failure.
    {
      platform::LockGuard list(listLock_);
      activeClients_.remove_if([&listed](const auto& entry) { return entry.get() == &listed; });
    }
    WriteLog(kErrorLogFileName, "_beginthreadex(...) failure", "AddClient", error);
    delete startBlock;  // closes the connection: nobody would serve it
    return 0;
  }
  listed.threadId = listed.thread.Id();
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
    if ((*entry)->threadId != threadId) continue;
    if (stopping_ || waitingWorkers_.size() >= kMaxWaitingClientThreads) {
      Retire(activeClients_, entry);
    } else {
      waitingWorkers_.splice(waitingWorkers_.end(), activeClients_, entry);
    }
    return;
  }
  WriteLog(kErrorLogFileName, "Thread not found in the list", "ClientThread", 0);
}

// Called with the list lock held. The thread may still run for a moment;
// the reaper waits for its end before the record goes.
void ThreadedServer::Retire(WorkerList& from, WorkerList::iterator worker) {
  (*worker)->retired = true;
  finishedWorkers_.splice(finishedWorkers_.end(), from, worker);
}

ClientStartBlock* ThreadedServer::TakeConnection(ClientWorker& worker) {
  platform::LockGuard list(listLock_);
  return std::exchange(worker.handedOver, nullptr);
}

// Runs after RemoveClient, which put the thread on the waiting list or
// retired it. Only the thread itself takes itself off the waiting list when
// no connection came; a connection handed over moves it back to the active.
ClientStartBlock* ThreadedServer::AwaitNextConnection(ClientWorker& worker) {
  {
    platform::LockGuard list(listLock_);
    if (worker.retired) return nullptr;
  }
  // The wake-up comes after the hand-over, so it carries the connection; a
  // wake-up without one is the shutdown.
  if (worker.wake.Wait(clientIdleWaitMs_.load()) && worker.handedOver != nullptr) {
    return std::exchange(worker.handedOver, nullptr);
  }
  {
    platform::LockGuard list(listLock_);
    if (worker.handedOver == nullptr) {
      for (auto entry = waitingWorkers_.begin(); entry != waitingWorkers_.end(); ++entry) {
        if (entry->get() == &worker) {
          Retire(waitingWorkers_, entry);
          break;
        }
      }
      return nullptr;
    }
  }
  // Handed over just as the wait ran out: the wake-up is on its way and must
  // not be left over for the next wait.
  while (!worker.wake.Wait(kClientPollMs)) {
  }
  return std::exchange(worker.handedOver, nullptr);
}

void ThreadedServer::WakeWaitingThreadsToEnd() {
  platform::LockGuard list(listLock_);
  stopping_ = true;
  for (const auto& worker : waitingWorkers_) worker->wake.Set();
}

// Waits for every retired thread to return, without any lock held: a thread
// that is slow to return must not hold up connections coming and going.
void ThreadedServer::JoinEndedThreads() {
  WorkerList ended;
  {
    platform::LockGuard list(listLock_);
    ended.swap(finishedWorkers_);
  }
  for (const auto& worker : ended) worker->thread.WaitForEnd(kWaitWithoutLimit);
}
