// A small server for driving the engine over loopback, and a client that
// reads what it answers.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/socket_client.h"
#include "server/threaded_server.h"
#include "tests/support/temp_folder.h"

// Replies "<length>:<request>" and keeps the connection. Requests that begin
// with a word change that:
//   "CLOSE"    the same reply, then the connection is closed;
//   "DROP"     the connection is closed without a reply;
//   "BIG <n>"  a reply of n bytes of BigReplyByte(0..n-1);
//   "BODY <n>" the text "HEAD", then a body of n bytes of BigReplyByte;
//   "NOMEM"    the answer fails for want of memory;
//   "STACK"    the size of the serving thread's stack in decimal, then the close.
class EchoServer : public ThreadedServer {
 public:
  explicit EchoServer(const TempFolder& logFolder, int startupWaitMs = 5000);
  ~EchoServer() override;

  // Runs on a port that was free a moment ago.
  bool Start(int persistenceTimeoutMs);
  std::uint16_t Port() const { return port_; }
  std::string LogText() const;

  ServerStats Statistics();
  std::vector<std::string> Requests();
  std::vector<std::uint32_t> RepliesSent();
  std::vector<std::string> Addresses();
  using ThreadedServer::SetClientIdleWait;
  using ThreadedServer::SetTickSource;
  using ThreadedServer::WaitingClientThreads;

  int OnClientAccepted(const char* address, std::uint16_t portNetworkOrder) override;
  int OnReplySent(std::uint32_t bytes) override;
  int IsRequestComplete(std::string_view request) override;
  int ParseRequest(std::string_view request, std::string& reply, int& keepAlive) override;
  int ParseRequestWithBody(std::string_view request, const ClientAddress& client,
                           std::string& reply, std::unique_ptr<ReplyBody>& body,
                           int& keepAlive) override;
  using ThreadedServer::ReplaceableSocketCalls;

 private:
  std::string logPath_;
  std::uint16_t port_ = 0;
  std::mutex mutex_;
  std::vector<std::string> requests_;
  std::vector<std::uint32_t> repliesSent_;
  std::vector<std::string> addresses_;
};

char BigReplyByte(std::size_t index);
std::string EchoReply(const std::string& request);

class TestClient {
 public:
  explicit TestClient(std::uint16_t port, int receiveBufferSize = 0);

  bool Connected() const { return socket_.IsConnected(); }
  bool Send(const std::string& bytes) { return static_cast<bool>(socket_.SendAll(bytes)); }
  bool ShutdownSending() { return static_cast<bool>(socket_.ShutdownSending()); }
  // Exactly count bytes, or fewer when the connection ends or time runs out.
  std::string Read(std::size_t count, int timeoutMs = 10000);
  // True when the server closes the connection within timeoutMs; the bytes
  // that came before go to received.
  bool ClosedWithin(int timeoutMs, std::string* received = nullptr);
  void Close() { socket_.Close(); }

 private:
  platform::ClientSocket socket_;
};

// Polls condition every 10 ms; false when it still fails after timeoutMs.
bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 10000);
