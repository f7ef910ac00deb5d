// The threaded TCP server engine: one accept thread, one helper thread that
// reaps ended client threads, one thread per connection. It knows nothing of
// HTTP; a derived class says when a request is complete and what to reply.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "server/error_log.h"

struct ServerStats {
  int activeConnections = 0;
  int requests = 0;  // accepted connections since the last reset
  double kbSent = 0;
  double kbReceived = 0;
  int visitors = 0;  // distinct client addresses since the object was made
};

class ThreadedServer : public ErrorLog {
 public:
  ThreadedServer();
  ~ThreadedServer() override;

  ThreadedServer(const ThreadedServer&) = delete;
  ThreadedServer& operator=(const ThreadedServer&) = delete;

  // 1 when the accept and helper threads are up; 0 otherwise.
  int Run(int port, int persistenceTimeoutMs);
  // 1 when the engine threads ended by themselves; 0 when not running or
  // when they had to be terminated. Returns after every client thread ended.
  int Shutdown();
  void ResetStatistics();
  void GetStatistics(ServerStats& stats);

  // The four operations a concrete server supplies, in this order.
  virtual int OnClientAccepted(const char* address, std::uint16_t portNetworkOrder) = 0;
  virtual int OnReplySent(std::uint32_t bytes) = 0;
  virtual int IsRequestComplete(std::string_view request) = 0;
  // Fills reply (the connection's own buffer, reused from request to request)
  // and may change keepAlive. Nonzero: send the reply; 0: close without one.
  virtual int ParseRequest(std::string_view request, std::string& reply, int& keepAlive) = 0;
};
