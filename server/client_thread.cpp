// The thread that serves one connection: it collects a request, has the
// server answer it, sends the reply and waits for the next request.
#include <algorithm>

#include "server/threaded_server.h"

namespace {

const char kLogFile[] = "DIDidezu.log";
constexpr int kReceiveBufferSize = 100000;
constexpr std::size_t kSendSliceSize = 200000;
// A request that grows beyond this is no request this server could answer.
constexpr std::size_t kRequestLimit = 1024 * 1024;
constexpr unsigned kClientEvents = platform::kNetRead | platform::kNetWrite | platform::kNetClose;

}  // namespace

class ClientConnection {
 public:
  explicit ClientConnection(ClientStartBlock* startBlock)
      : server_(*startBlock->server), startBlock_(startBlock), socket_(startBlock->socket) {}

  void Serve();

 private:
  enum class Outcome { kGoOn, kReplyPending, kEnd };

  bool SelectEvents();
  void WaitLoop();
  Outcome OnReadable();
  Outcome ServeCollectedRequest();
  Outcome SendReply();
  void End();

  ThreadedServer& server_;
  ClientStartBlock* startBlock_;
  platform::Socket& socket_;
  platform::NetEvent socketEvent_;
  std::string request_;
  std::string reply_;
  int keepAlive_ = 0;
  bool replyPending_ = false;
  std::size_t sendOffset_ = 0;
  char receiveBuffer_[kReceiveBufferSize];
};

// One connection after another, as long as the next comes in time.
unsigned ThreadedServer::ClientThread(void* worker) {
  auto& self = *static_cast<ClientWorker*>(worker);
  ThreadedServer& server = *self.server;
  for (ClientStartBlock* startBlock = server.TakeConnection(self); startBlock != nullptr;
       startBlock = server.AwaitNextConnection(self)) {
    ClientConnection connection(startBlock);
    connection.Serve();
  }
  return platform::kThreadExitCode;
}

void ClientConnection::Serve() {
  if (SelectEvents()) WaitLoop();
  End();
}

bool ClientConnection::SelectEvents() {
  if (!socketEvent_.Create()) {
    server_.WriteLog(kLogFile, "WSACreateEvent(...) failure", "ClientThread",
                     platform::LastSocketError());
    return false;
  }
  if (!socketEvent_.Select(socket_, kClientEvents)) {
    server_.WriteLog(kLogFile, "WSAEventSelect(...) failure", "ClientThread",
                     platform::LastSocketError());
    return false;
  }
  return true;
}

// The persistence timeout counts from the last network event of this
// connection, so it applies to every single wait.
void ClientConnection::WaitLoop() {
  for (;;) {
    const int timeoutMs = server_.persistenceTimeoutMs_.load();
    const platform::WaitResult woken = platform::WaitForEither(
        socketEvent_, server_.shutdownEvent_, timeoutMs == 0 ? platform::kWaitForever : timeoutMs);
    if (woken == platform::WaitResult::kFailed) {
      server_.WriteLog(kLogFile, "WSAWaitForMultipleEvents(...) failure", "ClientThread",
                       platform::LastSocketError());
      return;
    }
    if (woken != platform::WaitResult::kFirst) return;  // shutdown or idle too long

    unsigned events = 0;
    if (const int error = socketEvent_.Enumerate(socket_, events)) {
      server_.WriteLog(kLogFile, "WSAEnumNetworkEvents(...) failure", "ClientThread", error);
      continue;
    }
    Outcome outcome = Outcome::kGoOn;
    if (events & platform::kNetRead) outcome = OnReadable();
    if (outcome == Outcome::kEnd) return;
    if ((events & platform::kNetWrite) && replyPending_ && outcome != Outcome::kReplyPending) {
      if (SendReply() == Outcome::kEnd) return;
    }
    if (events & platform::kNetClose) return;
  }
}

ClientConnection::Outcome ClientConnection::OnReadable() {
  int received = 0;
  if (const int error = socket_.Receive(receiveBuffer_, kReceiveBufferSize, received)) {
    if (!platform::IsWouldBlock(error)) {
      server_.WriteLog(kLogFile, "WSARecv(...) failure", "ClientThread", error);
    }
    return Outcome::kGoOn;
  }
  server_.AddReceived(received);
  if (request_.size() + static_cast<std::size_t>(received) > kRequestLimit) return Outcome::kEnd;
  request_.append(receiveBuffer_, static_cast<std::size_t>(received));
  // While a reply is still going out, the next request waits for it.
  if (replyPending_) return Outcome::kGoOn;
  return ServeCollectedRequest();
}

// The request is handed over once it is complete; bytes that came along
// with it (a body, a pipelined request) go with it.
ClientConnection::Outcome ClientConnection::ServeCollectedRequest() {
  if (!server_.IsRequestComplete(request_)) return Outcome::kGoOn;
  if (!server_.ParseRequest(request_, reply_, keepAlive_)) return Outcome::kEnd;
  request_.clear();
  sendOffset_ = 0;
  return SendReply();
}

// Sends from the offset reached so far. A send that would block leaves the
// rest for the socket's next write event.
ClientConnection::Outcome ClientConnection::SendReply() {
  while (sendOffset_ < reply_.size()) {
    const std::size_t slice = std::min(kSendSliceSize, reply_.size() - sendOffset_);
    int sent = 0;
    const int error = socket_.Send(reply_.data() + sendOffset_, static_cast<int>(slice), sent);
    if (error != 0) {
      if (platform::IsWouldBlock(error)) {
        replyPending_ = true;
        return Outcome::kReplyPending;
      }
      server_.WriteLog(kLogFile, "WSASend(...) failure", "ClientThread, Primary Send", error);
      return Outcome::kEnd;
    }
    sendOffset_ += static_cast<std::size_t>(sent);
  }
  replyPending_ = false;
  server_.AddSent(static_cast<double>(reply_.size()));
  server_.OnReplySent(static_cast<std::uint32_t>(reply_.size()));
  if (keepAlive_ == 0) return Outcome::kEnd;
  // A request that arrived while the reply was pending is served now.
  return request_.empty() ? Outcome::kGoOn : ServeCollectedRequest();
}

void ClientConnection::End() {
  server_.RemoveClient(socketEvent_.IsValid() ? &socketEvent_ : nullptr, startBlock_,
                       platform::CurrentThreadId());
}
