#include "tests/server/echo_server.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <new>
#include <thread>

#include "platform/thread.h"

namespace {

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

std::size_t SizeAfter(std::string_view request, std::size_t wordLength) {
  return std::strtoul(std::string(request.substr(wordLength)).c_str(), nullptr, 10);
}

// BigReplyByte(0..size-1), made as it is read.
class GeneratedBody : public ReplyBody {
 public:
  explicit GeneratedBody(std::uint64_t size) : size_(size) {}
  std::uint64_t Size() const override { return size_; }
  int Read(char* buffer, std::size_t capacity, std::size_t& got) override {
    got = static_cast<std::size_t>(std::min<std::uint64_t>(capacity, size_ - offset_));
    for (std::size_t i = 0; i < got; ++i) buffer[i] = BigReplyByte(offset_ + i);
    offset_ += got;
    return 0;
  }

 private:
  std::uint64_t size_;
  std::uint64_t offset_ = 0;
};

}  // namespace

EchoServer::EchoServer(const TempFolder& logFolder, int startupWaitMs)
    : logPath_(logFolder.File("DIDidezu.log")) {
  SetLogFolder(logFolder.Path());
  SetStartupWait(startupWaitMs);
}

EchoServer::~EchoServer() {
  Shutdown();
}

bool EchoServer::Start(int persistenceTimeoutMs) {
  return platform::FindFreePort(port_) && Run(port_, persistenceTimeoutMs) == 1;
}

std::string EchoServer::LogText() const {
  return TempFolder::ReadAll(logPath_);
}

ServerStats EchoServer::Statistics() {
  ServerStats stats;
  GetStatistics(stats);
  return stats;
}

std::vector<std::string> EchoServer::Requests() {
  std::lock_guard<std::mutex> guard(mutex_);
  return requests_;
}

std::vector<std::uint32_t> EchoServer::RepliesSent() {
  std::lock_guard<std::mutex> guard(mutex_);
  return repliesSent_;
}

std::vector<std::string> EchoServer::Addresses() {
  std::lock_guard<std::mutex> guard(mutex_);
  return addresses_;
}

int EchoServer::OnClientAccepted(const char* address, std::uint16_t) {
  std::lock_guard<std::mutex> guard(mutex_);
  addresses_.emplace_back(address);
  return 0;
}

int EchoServer::OnReplySent(std::uint32_t bytes) {
  std::lock_guard<std::mutex> guard(mutex_);
  repliesSent_.push_back(bytes);
  return 0;
}

int EchoServer::IsRequestComplete(std::string_view request) {
  return request.size() >= 4 && request.substr(request.size() - 4) == "\r\n\r\n";
}

int EchoServer::ParseRequest(std::string_view request, std::string& reply, int& keepAlive) {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    requests_.emplace_back(request);
  }
  if (StartsWith(request, "DROP")) return 0;
  keepAlive = StartsWith(request, "CLOSE") ? 0 : 1;
  if (StartsWith(request, "NOMEM")) throw std::bad_alloc();
  if (StartsWith(request, "STACK")) {
    keepAlive = 0;
    reply = std::to_string(platform::CurrentThreadStackBytes());
    return 1;
  }
  if (StartsWith(request, "BIG ")) {
    const std::size_t size = SizeAfter(request, 4);
    reply.resize(size);
    for (std::size_t i = 0; i < size; ++i) reply[i] = BigReplyByte(i);
    return 1;
  }
  reply = EchoReply(std::string(request));
  return 1;
}

int EchoServer::ParseRequestWithBody(std::string_view request, const ClientAddress&,
                                     std::string& reply, std::unique_ptr<ReplyBody>& body,
                                     int& keepAlive) {
  if (!StartsWith(request, "BODY ")) return ParseRequest(request, reply, keepAlive);
  keepAlive = 1;
  reply = "HEAD";
  body = std::make_unique<GeneratedBody>(SizeAfter(request, 5));
  return 1;
}

// Varies with the offset, so a reply resumed from a wrong offset shows.
char BigReplyByte(std::size_t index) {
  return static_cast<char>('A' + (index * 7 + index / 251) % 26);
}

std::string EchoReply(const std::string& request) {
  return std::to_string(request.size()) + ":" + request;
}

TestClient::TestClient(std::uint16_t port, int receiveBufferSize) {
  if (receiveBufferSize > 0) socket_.SetReceiveBufferSize(receiveBufferSize);
  // A client that could not connect reads nothing: the test's reads say so.
  static_cast<void>(socket_.Connect(port));
}

std::string TestClient::Read(std::size_t count, int timeoutMs) {
  std::string received;
  std::vector<char> buffer(65536);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (received.size() < count) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) break;
    const int wanted =
        static_cast<int>(std::min<std::size_t>(buffer.size(), count - received.size()));
    int got = 0;
    if (!socket_.ReceiveSome(buffer.data(), wanted, static_cast<int>(left), got) || got == 0) break;
    received.append(buffer.data(), static_cast<std::size_t>(got));
  }
  return received;
}

bool TestClient::ClosedWithin(int timeoutMs, std::string* received) {
  char buffer[4096];
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) return false;
    int got = 0;
    if (const platform::Result waited =
            socket_.ReceiveSome(buffer, sizeof buffer, static_cast<int>(left), got);
        !waited) {
      return !platform::IsTimedOut(waited.Code());
    }
    if (got == 0) return true;
    if (received != nullptr) received->append(buffer, static_cast<std::size_t>(got));
  }
}

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}
