// The threaded TCP server engine: one accept thread, one helper thread that
// reaps ended client threads, one thread per connection. A client thread
// whose connection ended waits a while for the next one before it ends, as
// starting a thread costs more than serving a short connection. It knows
// nothing of HTTP; a derived class says when a request is complete and what
// to reply.
#pragma once

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/client_address.h"
#include "platform/clock.h"
#include "platform/socket.h"
#include "platform/socket_calls.h"
#include "platform/thread.h"
#include "server/error_log.h"
#include "server/reply_body.h"
#include "server/server_stats.h"
#include "server/visitor_set.h"

class ThreadedServer;

// Handed to a new client thread; RemoveClient frees it.
struct ClientStartBlock {
  ThreadedServer* server = nullptr;
  platform::Socket socket;
  ClientAddress client;
};

class ThreadedServer : public ErrorLog {
 public:
  ThreadedServer();
  ~ThreadedServer() override;

  ThreadedServer(const ThreadedServer&) = delete;
  ThreadedServer& operator=(const ThreadedServer&) = delete;

  // 1 when the accept and helper threads are up; 0 otherwise.
  int Run(int port, int persistenceTimeoutMs);
  // 1 when the engine threads ended within a second; 0 when not running or
  // when they took longer. Returns after every client thread ended.
  int Shutdown();
  void ResetStatistics();
  void GetStatistics(ServerStats& stats);

  // The four operations a concrete server supplies, in this order. The
  // results of OnClientAccepted and OnReplySent are part of the interface
  // derived servers implement, but the engine ignores them on purpose: it
  // goes on in the same way whatever they return.
  virtual int OnClientAccepted(const char* address, std::uint16_t portNetworkOrder) = 0;
  virtual int OnReplySent(std::uint32_t bytes) = 0;
  virtual int IsRequestComplete(std::string_view request) = 0;
  // How many bytes from the start of the collected text make its first
  // complete request; 0 while it is incomplete. A server that can tell where
  // a request ends says so here, and the bytes after it (pipelined requests)
  // wait for their own turn; by default a complete text is one request.
  virtual std::size_t CompleteRequestLength(std::string_view collected) {
    return IsRequestComplete(collected) ? collected.size() : 0;
  }
  // Fills reply (the connection's own buffer, reused from request to request)
  // and may change keepAlive. Nonzero: send the reply; 0: close without one;
  // kRefusedClient: send the reply, which refuses the client (a phone without
  // the access key): it counts apart from the visitors.
  static constexpr int kRefusedClient = 2;
  virtual int ParseRequest(std::string_view request, std::string& reply, int& keepAlive) = 0;
  // What the client threads call: ParseRequest, for servers whose replies may
  // end in a body that is read while it goes out (body is empty on entry) or
  // that look at the client's address.
  virtual int ParseRequestWithBody(std::string_view request, const ClientAddress& /*client*/,
                                   std::string& reply, std::unique_ptr<ReplyBody>& /*body*/,
                                   int& keepAlive) {
    return ParseRequest(request, reply, keepAlive);
  }

 protected:
  static constexpr int kStartupWaitMs = 30000;
  // How long a client thread waits for the next connection, and how many
  // may wait at once: enough for every phone to reconnect at once.
  static constexpr int kClientIdleWaitMs = 10000;
  static constexpr std::size_t kMaxWaitingClientThreads = 128;
  // A client thread's own stack: its receive buffer and the request's
  // handling with room to spare, far less than the system's default, which
  // would take a megabyte per connection on Windows.
  static constexpr std::size_t kClientThreadStackBytes = 256 * 1024;

  // How long Run waits for each engine thread to come up (tests shorten it).
  void SetStartupWait(int milliseconds) { startupWaitMs_ = milliseconds; }
  // How long a client thread waits for its next connection (tests lengthen it).
  void SetClientIdleWait(int milliseconds) { clientIdleWaitMs_ = milliseconds; }
  // Client threads that wait for a next connection. For tests: a new thread
  // may serve its first connection before it is listed, so no active
  // connection does not yet mean that a thread waits.
  int WaitingClientThreads();
  // The socket, event and thread-start calls this server makes, for a test
  // to replace one of them (platform::ReplacedCall) while the server runs.
  // The accept thread is the first thread a Run starts, the helper thread the
  // second, then one client thread per connection that no waiting one takes.
  platform::SocketCalls& ReplaceableSocketCalls() { return socketCalls_; }
  // The millisecond ticks the connections time themselves by; set while the
  // server is stopped (tests put a clock of their own here).
  using TickSource = std::uint32_t (*)();
  void SetTickSource(TickSource ticks) { ticks_ = ticks; }

 private:
  friend class ClientConnection;

  // One client thread. It sits in exactly one of the lists: serving a
  // connection, waiting for one, or ended (or about to) and not yet reaped.
  struct ClientWorker {
    ThreadedServer* server = nullptr;
    platform::Thread thread;
    std::uint32_t threadId = 0;
    platform::AutoResetEvent wake;
    // Set under the list lock; the thread reads it once its wake-up came.
    ClientStartBlock* handedOver = nullptr;
    bool retired = false;  // under the list lock
  };
  using WorkerList = std::list<std::unique_ptr<ClientWorker>>;

  static unsigned AcceptThread(void* server);
  static unsigned HelperThread(void* server);
  static unsigned ClientThread(void* worker);

  // The accept thread's work: start-up, then the accept loop.
  bool ServeListeningSocket();
  void AcceptLoop(platform::Socket& listening, platform::NetEvent& acceptEvent);
  void AcceptOne(platform::Socket& listening);
  void ReapFinishedThreads();

  int AddClient(platform::Socket socket, const platform::PeerAddress& peer);
  bool HandToWaitingThread(ClientStartBlock* startBlock);
  int StartClientThread(ClientStartBlock* startBlock);
  void RemoveClient(platform::NetEvent* socketEvent, ClientStartBlock* startBlock,
                    std::uint32_t threadId);
  // The connection a client thread serves first, then the next one it waits
  // for; nullptr when the thread is to end.
  ClientStartBlock* TakeConnection(ClientWorker& worker);
  ClientStartBlock* AwaitNextConnection(ClientWorker& worker);
  void Retire(WorkerList& from, WorkerList::iterator worker);
  void WakeWaitingThreadsToEnd();
  void JoinEndedThreads();
  // A client's address once a request of it was answered: as a visitor, or
  // as a refused phone when the answer refused it.
  void RememberVisitor(std::uint32_t address, bool refused);

  int StartThread(platform::Thread& thread, platform::Thread::Function function, void* argument,
                  std::size_t stackBytes = 0);
  bool StartEngineThread(platform::Thread& thread, platform::Thread::Function function,
                         const char* failureMessage);
  bool AwaitStartup(const char* timeoutMessage);
  int StopEngine();
  void WaitForClientsToEnd();

  void AddSent(double bytes) { kbSent_.fetch_add(bytes / 1024.0); }
  void AddReceived(double bytes) { kbReceived_.fetch_add(bytes / 1024.0); }

  platform::SocketCalls socketCalls_;
  platform::Thread acceptThread_;
  platform::Thread helperThread_;
  platform::NetEvent shutdownEvent_;
  platform::AutoResetEvent startupEvent_;
  bool socketLibraryStarted_ = false;
  std::atomic<bool> acceptGaveUp_{false};  // set before startupEvent_ is

  WorkerList activeClients_;
  WorkerList waitingWorkers_;
  WorkerList finishedWorkers_;
  bool stopping_ = false;  // under the list lock: no thread may wait any more
  std::atomic<int> requestCount_{0};
  std::atomic<double> kbSent_{0};
  std::atomic<double> kbReceived_{0};
  platform::Lock registrationLock_;
  platform::Lock listLock_;

  int port_ = 0;
  std::atomic<int> persistenceTimeoutMs_{0};
  int running_ = 0;
  platform::Lock visitorLock_;
  VisitorSet visitors_;       // under visitorLock_
  VisitorSet refusedPhones_;  // under visitorLock_
  int startupWaitMs_ = kStartupWaitMs;
  std::atomic<int> clientIdleWaitMs_{kClientIdleWaitMs};
  TickSource ticks_ = &platform::TickCount;
};
