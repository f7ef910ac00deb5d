// The thread that serves one connection: it collects a request, has the
// server answer it, sends the reply and waits for the next request.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "platform/clock.h"
#include "server/threaded_server.h"

namespace {

constexpr int kReceiveBufferSize = 100000;
constexpr std::size_t kSendSliceSize = 200000;
// A reply body goes out through one buffer of this size, so a connection
// holds no more of a file than this, however large the file.
constexpr std::size_t kBodySliceSize = 64 * 1024;
// A request that grows beyond this is no request this server could answer (a
// phone's report takes well under a kilobyte); the connection that sends it ends.
constexpr std::size_t kRequestLimit = 64 * 1024;
constexpr unsigned kClientEvents = platform::kNetRead | platform::kNetWrite | platform::kNetClose;
// While a reply is pending, a send is tried this often at least (and four
// times per persistence timeout), so that a slow but steady reader is not
// taken for one that stopped reading.
constexpr int kProgressCheckMs = 1000;
// After a failed look at the network events, the next wait ends after this
// at the latest: the failure may have swallowed the event that would end it.
constexpr int kRetryAfterFailureMs = 1000;

}  // namespace

class ClientConnection {
 public:
  explicit ClientConnection(ClientStartBlock* startBlock)
      : server_(*startBlock->server),
        calls_(server_.socketCalls_),
        startBlock_(startBlock),
        socket_(startBlock->socket) {}

  void Serve();

 private:
  enum class Outcome { kGoOn, kReplyPending, kEnd };

  bool SelectEvents();
  void WaitLoop();
  int NextWaitMs(int timeoutMs) const;
  bool EnumerateEvents(unsigned& events);
  Outcome TryPendingReply(int timeoutMs);
  bool PendingReplyStalled(int timeoutMs) const;
  bool OnPeerClosed();
  Outcome OnReadable();
  bool CollectRequest(const char* bytes, std::size_t length);
  std::string_view CollectedRequest() const {
    return {requestBuffer_.get() + requestStart_, requestEnd_ - requestStart_};
  }
  bool RequestOverdue(int timeoutMs) const;
  Outcome ServeCollected();
  Outcome Serve(std::string_view request, std::size_t collectedLength = 0);
  void NoteVisitor(bool refused);
  Outcome SendReply();
  Outcome ReplyComplete();
  bool NextBytes(const char*& bytes, std::size_t& length);
  void Consume(std::size_t sent);
  void End();
  std::uint32_t Now() const { return server_.ticks_(); }

  ThreadedServer& server_;
  const platform::SocketCalls& calls_;
  ClientStartBlock* startBlock_;
  platform::Socket& socket_;
  platform::NetEvent socketEvent_;
  // A request that arrives in pieces is collected here: one buffer of the
  // limit's size, made for the first such request and given back with the
  // connection, so that no connection holds more than the limit, nor keeps
  // anything once it ended. Bytes before requestStart_ were served already;
  // those after it are the next requests, pipelined or still arriving.
  std::unique_ptr<char[]> requestBuffer_;
  std::size_t requestStart_ = 0;
  std::size_t requestEnd_ = 0;
  // When the first byte of the request now collected came in (at the latest:
  // bytes that came along with an earlier request count from the last receive).
  std::uint32_t requestStartTick_ = 0;
  std::uint32_t lastReceiveTick_ = 0;
  std::string reply_;
  std::unique_ptr<ReplyBody> body_;
  std::unique_ptr<char[]> bodySlice_;  // made for the first body, kept after
  std::size_t sliceStart_ = 0;
  std::size_t sliceEnd_ = 0;
  std::uint64_t bodyLeft_ = 0;
  int keepAlive_ = 0;
  bool replyPending_ = false;
  bool peerClosed_ = false;  // the peer sends no more; it may still read
  std::size_t sendOffset_ = 0;
  std::uint32_t lastProgressTick_ = 0;
  bool lastEnumerationFailed_ = false;
  // This connection's address is in the server's visitors (or refused
  // phones) already: the lock is taken once per connection, not per request.
  bool visitorNoted_ = false;
  bool refusalNoted_ = false;
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

// Memory that cannot be had ends this connection, never the program.
void ClientConnection::Serve() {
  try {
    if (SelectEvents()) WaitLoop();
  } catch (const std::bad_alloc&) {
    requestBuffer_.reset();
    requestStart_ = requestEnd_ = 0;
    reply_ = std::string();
    body_.reset();
    bodySlice_.reset();
    try {
      server_.WriteLog(kErrorLogFileName, "operator new(...) failure", "ClientThread", ENOMEM);
    } catch (const std::bad_alloc&) {
    }
  }
  End();
}

bool ClientConnection::SelectEvents() {
  if (const platform::Result created = calls_.createEvent(socketEvent_); !created) {
    server_.WriteLog(kErrorLogFileName, "WSACreateEvent(...) failure", "ClientThread",
                     created.Code());
    return false;
  }
  if (const platform::Result selected = calls_.selectEvents(socketEvent_, socket_, kClientEvents);
      !selected) {
    server_.WriteLog(kErrorLogFileName, "WSAEventSelect(...) failure", "ClientThread",
                     selected.Code());
    return false;
  }
  return true;
}

// The persistence timeout counts from the last network event of this
// connection, so it applies to every single wait; while a reply is pending
// it counts from the peer's last progress in taking the reply instead. A
// request has the persistence timeout from its first byte to its last, so
// that a peer that trickles a byte now and then cannot hold the connection.
void ClientConnection::WaitLoop() {
  for (;;) {
    const int timeoutMs = server_.persistenceTimeoutMs_.load();
    platform::WaitResult woken = platform::WaitResult::kTimeout;
    if (const platform::Result waited = calls_.waitForEither(socketEvent_, server_.shutdownEvent_,
                                                             NextWaitMs(timeoutMs), woken);
        !waited) {
      server_.WriteLog(kErrorLogFileName, "WSAWaitForMultipleEvents(...) failure", "ClientThread",
                       waited.Code());
      return;
    }
    if (woken == platform::WaitResult::kSecond) return;  // shutdown
    if (woken == platform::WaitResult::kTimeout) {
      if (replyPending_) {
        if (TryPendingReply(timeoutMs) == Outcome::kEnd) return;
      } else if (!lastEnumerationFailed_) {
        return;  // idle too long
      }
      if (!lastEnumerationFailed_) continue;
    }

    unsigned events = 0;
    if (!EnumerateEvents(events)) return;
    const bool wasPending = replyPending_;
    if ((events & platform::kNetRead) && OnReadable() == Outcome::kEnd) return;
    if ((events & platform::kNetClose) && !OnPeerClosed()) return;
    // A reply that was pending before this pass goes on at every wake-up, not
    // only on the write event, which can lag far behind a slow reader.
    if (wasPending && replyPending_ && TryPendingReply(timeoutMs) == Outcome::kEnd) return;
    if (RequestOverdue(timeoutMs)) return;
  }
}

// True when a request has been arriving for the whole persistence timeout
// and is still incomplete.
bool ClientConnection::RequestOverdue(int timeoutMs) const {
  return timeoutMs != 0 && !replyPending_ && requestStart_ != requestEnd_ &&
         Now() - requestStartTick_ >= static_cast<std::uint32_t>(timeoutMs);
}

int ClientConnection::NextWaitMs(int timeoutMs) const {
  int wait = timeoutMs == 0 ? platform::kWaitForever : timeoutMs;
  const auto bound = [&wait](int limit) {
    if (wait == platform::kWaitForever || wait > limit) wait = limit;
  };
  if (lastEnumerationFailed_) bound(kRetryAfterFailureMs);
  if (replyPending_ && timeoutMs != 0)
    bound(std::min(kProgressCheckMs, std::max(timeoutMs / 4, 1)));
  if (!replyPending_ && requestStart_ != requestEnd_ && timeoutMs != 0) {
    const std::uint32_t age = Now() - requestStartTick_;
    bound(age >= static_cast<std::uint32_t>(timeoutMs) ? 0 : timeoutMs - static_cast<int>(age));
  }
  return wait;
}

// A failure is retried once after a bounded wait; a second one in a row
// ends the connection rather than spinning on an event that stays set.
bool ClientConnection::EnumerateEvents(unsigned& events) {
  events = 0;
  const platform::Result enumerated = calls_.enumerateEvents(socketEvent_, socket_, events);
  if (enumerated) {
    lastEnumerationFailed_ = false;
    return true;
  }
  server_.WriteLog(kErrorLogFileName, "WSAEnumNetworkEvents(...) failure", "ClientThread",
                   enumerated.Code());
  if (lastEnumerationFailed_) return false;
  lastEnumerationFailed_ = true;
  return true;
}

// Sends what the socket takes now. The write event can lag far behind a slow
// reader (the system reports room only once a good share of its send buffer
// has drained), so a send attempt is what shows whether the peer took
// anything; a peer that took nothing for the persistence timeout is done.
ClientConnection::Outcome ClientConnection::TryPendingReply(int timeoutMs) {
  const Outcome outcome = SendReply();
  if (PendingReplyStalled(timeoutMs)) return Outcome::kEnd;
  // Requests that arrived while the reply was pending are served now.
  return outcome == Outcome::kGoOn ? ServeCollected() : outcome;
}

// True when the peer has taken nothing of the pending reply for the whole
// persistence timeout.
bool ClientConnection::PendingReplyStalled(int timeoutMs) const {
  return replyPending_ && timeoutMs != 0 &&
         Now() - lastProgressTick_ >= static_cast<std::uint32_t>(timeoutMs);
}

// A peer that only shut its sending side still gets the reply it waits for;
// from then on only the socket's room for more bytes is of interest.
bool ClientConnection::OnPeerClosed() {
  if (!replyPending_) return false;
  if (!peerClosed_) {
    peerClosed_ = true;
    if (!calls_.selectEvents(socketEvent_, socket_, platform::kNetWrite)) return false;
  }
  return true;
}

ClientConnection::Outcome ClientConnection::OnReadable() {
  int received = 0;
  if (const platform::Result got =
          calls_.receive(socket_, receiveBuffer_, kReceiveBufferSize, received);
      !got) {
    if (!platform::IsWouldBlock(got.Code())) {
      server_.WriteLog(kErrorLogFileName, "WSARecv(...) failure", "ClientThread", got.Code());
    }
    return Outcome::kGoOn;
  }
  server_.AddReceived(received);
  const auto length = static_cast<std::size_t>(received);
  lastReceiveTick_ = Now();
  const bool nothingCollected = requestStart_ == requestEnd_;
  if (nothingCollected) requestStartTick_ = lastReceiveTick_;
  if (nothingCollected && !replyPending_) {
    // A request that comes whole, as nearly every one does, is answered from
    // where it arrived; requests that came along with it wait their turn.
    const std::string_view arrived(receiveBuffer_, length);
    const std::size_t first = std::min(server_.CompleteRequestLength(arrived), length);
    if (first == 0) return CollectRequest(receiveBuffer_, length) ? Outcome::kGoOn : Outcome::kEnd;
    if (first > kRequestLimit || !CollectRequest(receiveBuffer_ + first, length - first))
      return Outcome::kEnd;
    const Outcome outcome = Serve(arrived.substr(0, first));
    return outcome == Outcome::kGoOn ? ServeCollected() : outcome;
  }
  if (!CollectRequest(receiveBuffer_, length)) return Outcome::kEnd;
  // While a reply is still going out, the next request waits for it.
  if (replyPending_) return Outcome::kGoOn;
  return ServeCollected();
}

// False when the requests not yet served would pass the limit.
bool ClientConnection::CollectRequest(const char* bytes, std::size_t length) {
  if (length == 0) return true;
  const std::size_t kept = requestEnd_ - requestStart_;
  if (length > kRequestLimit - kept) return false;
  if (!requestBuffer_) requestBuffer_.reset(new char[kRequestLimit]);
  if (length > kRequestLimit - requestEnd_) {
    // The served bytes make room only once they are gone.
    std::memmove(requestBuffer_.get(), requestBuffer_.get() + requestStart_, kept);
    requestStart_ = 0;
    requestEnd_ = kept;
  }
  std::memcpy(requestBuffer_.get() + requestEnd_, bytes, length);
  requestEnd_ += length;
  return true;
}

// The collected requests are handed over one by one, each once it is
// complete, for as long as their replies go out at once.
ClientConnection::Outcome ClientConnection::ServeCollected() {
  for (;;) {
    const std::string_view collected = CollectedRequest();
    const std::size_t length =
        collected.empty() ? 0
                          : std::min(server_.CompleteRequestLength(collected), collected.size());
    // A peer that has closed its side is done once nothing is left to send.
    if (length == 0) return peerClosed_ ? Outcome::kEnd : Outcome::kGoOn;
    const Outcome outcome = Serve(collected.substr(0, length), length);
    if (outcome != Outcome::kGoOn) return outcome;
  }
}

void ClientConnection::NoteVisitor(bool refused) {
  bool& noted = refused ? refusalNoted_ : visitorNoted_;
  if (noted) return;
  noted = true;
  server_.RememberVisitor(startBlock_->client.Packed(), refused);
}

// collectedLength: how many of the collected bytes the request takes; they
// are let go once the reply is made.
ClientConnection::Outcome ClientConnection::Serve(std::string_view request,
                                                  std::size_t collectedLength) {
  body_.reset();
  const int parsed =
      server_.ParseRequestWithBody(request, startBlock_->client, reply_, body_, keepAlive_);
  if (parsed == 0) return Outcome::kEnd;
  NoteVisitor(parsed == ThreadedServer::kRefusedClient);
  requestStart_ += collectedLength;
  if (requestStart_ == requestEnd_) {
    requestStart_ = requestEnd_ = 0;
  } else if (collectedLength != 0) {
    requestStartTick_ = lastReceiveTick_;
  }
  sendOffset_ = 0;
  lastProgressTick_ = Now();
  sliceStart_ = sliceEnd_ = 0;
  bodyLeft_ = body_ ? body_->Size() : 0;
  if (body_ && !bodySlice_) bodySlice_.reset(new char[kBodySliceSize]);
  return SendReply();
}

// Sends from the point reached so far: the rest of the text, then the body
// slice by slice. A send that would block leaves the rest for the socket's
// next write event.
ClientConnection::Outcome ClientConnection::SendReply() {
  const char* bytes = nullptr;
  std::size_t length = 0;
  while (NextBytes(bytes, length)) {
    if (length == 0) return ReplyComplete();
    const int slice = static_cast<int>(std::min(kSendSliceSize, length));
    int sent = 0;
    if (const platform::Result done = calls_.send(socket_, bytes, slice, sent); !done) {
      if (platform::IsWouldBlock(done.Code())) {
        replyPending_ = true;
        return Outcome::kReplyPending;
      }
      server_.WriteLog(kErrorLogFileName, "WSASend(...) failure", "ClientThread, Primary Send",
                       done.Code());
      return Outcome::kEnd;
    }
    if (sent > 0) lastProgressTick_ = Now();
    Consume(static_cast<std::size_t>(sent));
  }
  return Outcome::kEnd;  // the body could not be read to its announced end
}

ClientConnection::Outcome ClientConnection::ReplyComplete() {
  replyPending_ = false;
  const std::uint64_t length = reply_.size() + (body_ ? body_->Size() : 0);
  body_.reset();
  server_.AddSent(static_cast<double>(length));
  server_.OnReplySent(static_cast<std::uint32_t>(std::min<std::uint64_t>(length, UINT32_MAX)));
  return keepAlive_ == 0 ? Outcome::kEnd : Outcome::kGoOn;
}

// The bytes that go out next; an empty range once the reply is complete.
// False when the body fails or ends before the length its header announced.
bool ClientConnection::NextBytes(const char*& bytes, std::size_t& length) {
  if (sendOffset_ < reply_.size()) {
    bytes = reply_.data() + sendOffset_;
    length = reply_.size() - sendOffset_;
    return true;
  }
  if (sliceStart_ == sliceEnd_ && bodyLeft_ > 0) {
    std::size_t got = 0;
    const auto wanted =
        static_cast<std::size_t>(std::min<std::uint64_t>(kBodySliceSize, bodyLeft_));
    const int error = body_->Read(bodySlice_.get(), wanted, got);
    if (error != 0 || got == 0) {
      server_.WriteLog(kErrorLogFileName, "ReadFile(...) failure", "ClientThread", error);
      return false;
    }
    sliceStart_ = 0;
    sliceEnd_ = got;
    bodyLeft_ -= got;
  }
  bytes = bodySlice_ ? bodySlice_.get() + sliceStart_ : nullptr;
  length = sliceEnd_ - sliceStart_;
  return true;
}

void ClientConnection::Consume(std::size_t sent) {
  if (sendOffset_ < reply_.size()) {
    sendOffset_ += sent;
  } else {
    sliceStart_ += sent;
  }
}

void ClientConnection::End() {
  server_.RemoveClient(socketEvent_.IsValid() ? &socketEvent_ : nullptr, startBlock_,
                       platform::CurrentThreadId());
}
