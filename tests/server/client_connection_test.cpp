// One connection's life: how requests are collected and handed over, how
// replies go out, and when the connection ends.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/server/echo_server.h"
#include "tests/support/fake_ticks.h"

namespace {

void Pause(int milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::string BigReply(std::size_t size) {
  std::string reply(size, '\0');
  for (std::size_t i = 0; i < size; ++i) reply[i] = BigReplyByte(i);
  return reply;
}

class ClientConnectionTest : public testing::Test {
 protected:
  TempFolder logFolder;
  EchoServer server{logFolder};
};

TEST_F(ClientConnectionTest, SplitRequestIsHandedOverOnceWhenComplete) {
  ASSERT_TRUE(server.Start(0));
  TestClient client(server.Port());
  std::size_t sent = 0;
  for (const char* piece : {"GET / HT", "TP/1.0\r\n", "Host: x\r\n\r", "\n"}) {
    ASSERT_TRUE(client.Send(piece));
    sent += std::string(piece).size();
    ASSERT_TRUE(WaitUntil([&] { return server.Statistics().kbReceived == sent / 1024.0; }));
  }
  const std::string request = "GET / HTTP/1.0\r\nHost: x\r\n\r\n";
  EXPECT_EQ(client.Read(EchoReply(request).size()), EchoReply(request));
  EXPECT_EQ(server.Requests(), std::vector<std::string>{request});
}

TEST_F(ClientConnectionTest, PipelinedRequestsGoOverTogetherAndGetOneReply) {
  ASSERT_TRUE(server.Start(0));
  TestClient client(server.Port());
  const std::string both = "A\r\n\r\nB\r\n\r\n";
  ASSERT_TRUE(client.Send(both));
  EXPECT_EQ(client.Read(EchoReply(both).size()), EchoReply(both));
  // The text was erased after the reply: the next request stands alone.
  ASSERT_TRUE(client.Send("C\r\n\r\n"));
  EXPECT_EQ(client.Read(7), "5:C\r\n\r\n");
  EXPECT_EQ(server.Requests(), (std::vector<std::string>{both, "C\r\n\r\n"}));
}

// The request that follows tells what became of the bytes: they begin it.
TEST_F(ClientConnectionTest, OneToThreeBytesAreNeverARequest) {
  ASSERT_TRUE(server.Start(0));
  const std::vector<std::string> starts = {"\n", "\r\n", "\n\r\n"};
  std::vector<std::unique_ptr<TestClient>> clients;
  for (const std::string& bytes : starts) {
    clients.push_back(std::make_unique<TestClient>(server.Port()));
    ASSERT_TRUE(clients.back()->Send(bytes));
  }
  ASSERT_TRUE(WaitUntil([&] { return server.Statistics().kbReceived == 6.0 / 1024; }));
  for (std::size_t i = 0; i < clients.size(); ++i) {
    ASSERT_TRUE(clients[i]->Send("A\r\n\r\n"));
    const std::string reply = EchoReply(starts[i] + "A\r\n\r\n");
    EXPECT_EQ(clients[i]->Read(reply.size()), reply);
  }
  EXPECT_EQ(server.Requests().size(), starts.size());
}

TEST_F(ClientConnectionTest, IdleConnectionClosesAfterThePersistenceTimeout) {
  ASSERT_TRUE(server.Start(300));
  TestClient client(server.Port());
  ASSERT_TRUE(client.Send("X\r\n\r\n"));
  EXPECT_EQ(client.Read(7), "5:X\r\n\r\n");
  const auto idleSince = std::chrono::steady_clock::now();
  EXPECT_TRUE(client.ClosedWithin(5000));
  EXPECT_GE(std::chrono::steady_clock::now() - idleSince, std::chrono::milliseconds(250));
}

// A request has the persistence timeout from its first byte to its last,
// however often its bytes come; the time between requests does not count.
// Only the test's own clock can end the connection: the timeout is a minute.
TEST_F(ClientConnectionTest, RequestMustBeCompleteWithinTheTimeoutFromItsFirstByte) {
  constexpr std::uint32_t kTimeoutMs = 60000;
  fakeTicks = 1000;
  server.SetTickSource(&FakeTicks);
  ASSERT_TRUE(server.Start(static_cast<int>(kTimeoutMs)));
  TestClient client(server.Port());
  ASSERT_TRUE(client.Send("X\r\n\r\n"));
  EXPECT_EQ(client.Read(7), "5:X\r\n\r\n");
  fakeTicks += kTimeoutMs - 1;  // idle between requests
  ASSERT_TRUE(client.Send("Y"));
  ASSERT_TRUE(WaitUntil([&] { return server.Statistics().kbReceived == 6.0 / 1024; }));
  fakeTicks += kTimeoutMs - 1;
  ASSERT_TRUE(client.Send("\r\n\r\n"));
  EXPECT_EQ(client.Read(7), "5:Y\r\n\r\n");

  ASSERT_TRUE(client.Send("S"));
  ASSERT_TRUE(WaitUntil([&] { return server.Statistics().kbReceived == 11.0 / 1024; }));
  fakeTicks += kTimeoutMs / 2;
  ASSERT_TRUE(client.Send("L"));
  ASSERT_TRUE(WaitUntil([&] { return server.Statistics().kbReceived == 12.0 / 1024; }));
  fakeTicks += kTimeoutMs / 2;
  client.Send("O");  // may fail: the server closes meanwhile
  EXPECT_TRUE(client.ClosedWithin(10000));
  EXPECT_EQ(server.Requests(), (std::vector<std::string>{"X\r\n\r\n", "Y\r\n\r\n"}));
}

// Without a timeout neither an idle connection nor a slow request ends: a
// day of the server's clock passes before each of the request's parts.
TEST_F(ClientConnectionTest, WithoutTimeoutAnIdleConnectionStaysOpen) {
  constexpr std::uint32_t kDayMs = 24 * 3600 * 1000;
  fakeTicks = 1000;
  server.SetTickSource(&FakeTicks);
  ASSERT_TRUE(server.Start(0));
  TestClient client(server.Port());
  ASSERT_TRUE(client.Send("X\r\n\r\n"));
  EXPECT_EQ(client.Read(7), "5:X\r\n\r\n");
  fakeTicks += kDayMs;
  ASSERT_TRUE(client.Send("Y"));
  ASSERT_TRUE(WaitUntil([&] { return server.Statistics().kbReceived == 6.0 / 1024; }));
  fakeTicks += kDayMs;
  ASSERT_TRUE(client.Send("\r\n\r\n"));
  EXPECT_EQ(client.Read(7), "5:Y\r\n\r\n");
  EXPECT_EQ(server.Statistics().requests, 1);
}

TEST_F(ClientConnectionTest, ServerDecidesToCloseWithOrWithoutAReply) {
  ASSERT_TRUE(server.Start(0));
  TestClient dropped(server.Port());
  ASSERT_TRUE(dropped.Send("DROP\r\n\r\n"));
  std::string received;
  EXPECT_TRUE(dropped.ClosedWithin(5000, &received));
  EXPECT_EQ(received, "");

  TestClient closed(server.Port());
  ASSERT_TRUE(closed.Send("CLOSE\r\n\r\n"));
  EXPECT_TRUE(closed.ClosedWithin(5000, &received));
  EXPECT_EQ(received, EchoReply("CLOSE\r\n\r\n"));

  ASSERT_TRUE(WaitUntil([&] { return server.Statistics().activeConnections == 0; }));
  const ServerStats stats = server.Statistics();
  EXPECT_EQ(stats.kbReceived, 17.0 / 1024);
  EXPECT_EQ(stats.kbSent, static_cast<double>(EchoReply("CLOSE\r\n\r\n").size()) / 1024);
}

TEST_F(ClientConnectionTest, RequestFollowedAtOnceByTheCloseIsStillServed) {
  ASSERT_TRUE(server.Start(0));
  {
    TestClient client(server.Port());
    ASSERT_TRUE(client.Send("X\r\n\r\n"));
  }
  EXPECT_TRUE(WaitUntil([&] { return server.Requests().size() == 1; }));
}

// Sends that found the socket's buffers full: the server then has to wait.
std::atomic<int> blockedSends{0};

platform::Result SendCountingBlocks(platform::Socket& socket, const char* bytes, int length,
                                    int& sent) {
  const platform::Result result = socket.Send(bytes, length, sent);
  if (!result && platform::IsWouldBlock(result.Code())) ++blockedSends;
  return result;
}

// While the result lives, the server's sends count in blockedSends.
platform::ReplacedCall<decltype(&SendCountingBlocks)> CountBlockedSends(EchoServer& server) {
  blockedSends = 0;
  return {server.ReplaceableSocketCalls().send, &SendCountingBlocks};
}

// The reply resumes where the full buffer stopped it, and counts once.
TEST_F(ClientConnectionTest, RequestDuringAPendingReplyIsAnsweredAfterIt) {
  ASSERT_TRUE(server.Start(0));
  const auto countingSends = CountBlockedSends(server);
  constexpr std::size_t kSize = 8 * 1024 * 1024;
  TestClient client(server.Port(), 16 * 1024);
  ASSERT_TRUE(client.Send("BIG " + std::to_string(kSize) + "\r\n\r\n"));
  ASSERT_TRUE(WaitUntil([] { return blockedSends > 0; }));  // the reply is pending
  ASSERT_TRUE(client.Send("NEXT\r\n\r\n"));
  const std::string next = EchoReply("NEXT\r\n\r\n");
  const std::string received = client.Read(kSize + next.size(), 60000);
  ASSERT_EQ(received.size(), kSize + next.size());
  EXPECT_TRUE(received.substr(0, kSize) == BigReply(kSize));
  EXPECT_EQ(received.substr(kSize), next);
  ASSERT_TRUE(WaitUntil([&] { return server.RepliesSent().size() == 2; }));
  EXPECT_EQ(server.RepliesSent(),
            (std::vector<std::uint32_t>{kSize, static_cast<std::uint32_t>(next.size())}));
  EXPECT_EQ(server.Statistics().kbSent, static_cast<double>(kSize + next.size()) / 1024);
}

// A request may take 64 KiB, however it arrives; one byte more ends the
// connection before the request is complete.
TEST_F(ClientConnectionTest, RequestBeyondTheLimitEndsTheConnection) {
  constexpr std::size_t kLimit = 64 * 1024;
  ASSERT_TRUE(server.Start(0));
  TestClient largest(server.Port());
  const std::string request = std::string(kLimit - 4, 'x') + "\r\n\r\n";
  ASSERT_TRUE(largest.Send(request.substr(0, 1000)));
  ASSERT_TRUE(WaitUntil([&] { return server.Statistics().kbReceived == 1000 / 1024.0; }));
  ASSERT_TRUE(largest.Send(request.substr(1000)));
  EXPECT_EQ(largest.Read(EchoReply(request).size()), EchoReply(request));

  TestClient endless(server.Port());
  endless.Send(std::string(kLimit + 1, 'x'));  // may fail part way: the server closes meanwhile
  EXPECT_TRUE(endless.ClosedWithin(10000));
  EXPECT_TRUE(WaitUntil([&] { return server.Statistics().activeConnections == 1; }));
  EXPECT_EQ(server.Requests(), std::vector<std::string>{request});
}

TEST_F(ClientConnectionTest, BodyFollowsTheTextInSlicesAndCountsOnce) {
  ASSERT_TRUE(server.Start(0));
  constexpr std::size_t kSize = 3 * 1024 * 1024 + 17;
  TestClient client(server.Port(), 16 * 1024);
  ASSERT_TRUE(client.Send("BODY " + std::to_string(kSize) + "\r\n\r\n"));
  const std::string received = client.Read(4 + kSize, 60000);
  ASSERT_EQ(received.size(), 4 + kSize);
  EXPECT_EQ(received.substr(0, 4), "HEAD");
  EXPECT_TRUE(received.substr(4) == BigReply(kSize));
  ASSERT_TRUE(WaitUntil([&] { return server.RepliesSent().size() == 1; }));
  EXPECT_EQ(server.RepliesSent(), std::vector<std::uint32_t>{4 + kSize});
}

// Progress counts, not network events: the reader below takes a piece every
// 100 ms, far more often than the persistence timeout, but the send buffer
// drains far too slowly to wake the server within it.
TEST_F(ClientConnectionTest, SlowButSteadyReaderGetsTheWholeReply) {
  ASSERT_TRUE(server.Start(400));
  constexpr std::size_t kSize = 8 * 1024 * 1024;
  constexpr std::size_t kPiece = 256 * 1024;
  TestClient client(server.Port(), 16 * 1024);
  ASSERT_TRUE(client.Send("BIG " + std::to_string(kSize) + "\r\n\r\n"));
  std::string received;
  while (received.size() < kSize) {
    const std::string piece = client.Read(std::min(kPiece, kSize - received.size()), 2000);
    if (piece.empty()) break;
    received += piece;
    Pause(100);
  }
  ASSERT_EQ(received.size(), kSize);
  EXPECT_TRUE(received == BigReply(kSize));
}

TEST_F(ClientConnectionTest, ReaderThatStopsTakingIsClosedAfterThePersistenceTimeout) {
  ASSERT_TRUE(server.Start(300));
  TestClient client(server.Port(), 16 * 1024);
  ASSERT_TRUE(client.Send("BIG 8000000\r\n\r\n"));
  ASSERT_TRUE(WaitUntil([&] { return server.Statistics().activeConnections == 1; }));
  EXPECT_TRUE(WaitUntil([&] { return server.Statistics().activeConnections == 0; }));
  EXPECT_TRUE(server.RepliesSent().empty());
}

TEST_F(ClientConnectionTest, HalfClosedPeerGetsTheWholeReplyThenTheClose) {
  ASSERT_TRUE(server.Start(0));
  constexpr std::size_t kSize = 8 * 1024 * 1024;
  TestClient client(server.Port(), 16 * 1024);
  const auto countingSends = CountBlockedSends(server);
  ASSERT_TRUE(client.Send("BIG " + std::to_string(kSize) + "\r\n\r\n"));
  ASSERT_TRUE(WaitUntil([] { return blockedSends > 0; }));  // the close comes to a pending reply
  ASSERT_TRUE(client.ShutdownSending());
  std::string received;
  EXPECT_TRUE(client.ClosedWithin(60000, &received));
  ASSERT_EQ(received.size(), kSize);
  EXPECT_TRUE(received == BigReply(kSize));
}

TEST_F(ClientConnectionTest, FailedAllocationEndsOnlyThatConnection) {
  ASSERT_TRUE(server.Start(0));
  TestClient failing(server.Port());
  ASSERT_TRUE(failing.Send("NOMEM\r\n\r\n"));
  EXPECT_TRUE(failing.ClosedWithin(5000));
  EXPECT_NE(server.LogText().find("operator new(...) failure.\t[ClientThread]"), std::string::npos);
  TestClient next(server.Port());
  ASSERT_TRUE(next.Send("X\r\n\r\n"));
  EXPECT_EQ(next.Read(7), "5:X\r\n\r\n");
}

std::size_t CountOccurrences(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

std::atomic<int> enumerationFailuresLeft{0};

platform::Result EnumerateFailingWhileArmed(platform::NetEvent& event, platform::Socket& socket,
                                            unsigned& events) {
  if (enumerationFailuresLeft.load() > 0 && enumerationFailuresLeft.fetch_sub(1) > 0) {
    return platform::Result(EINVAL);
  }
  return event.Enumerate(socket, events);
}

// A look at the events that keeps failing must not spin: one failure is
// retried, the second in a row ends the connection. The failures are armed
// once the accept thread has taken the connection, so only the connection's
// own looks fail.
TEST_F(ClientConnectionTest, SecondFailedLookAtTheEventsInARowEndsTheConnection) {
  ASSERT_TRUE(server.Start(0));
  const platform::ReplacedCall failingLooks(server.ReplaceableSocketCalls().enumerateEvents,
                                            &EnumerateFailingWhileArmed);
  const auto acceptedConnections = [&](int count) {
    return WaitUntil([&] { return server.Statistics().requests == count; });
  };
  TestClient recovering(server.Port());
  ASSERT_TRUE(acceptedConnections(1));
  enumerationFailuresLeft = 1;
  ASSERT_TRUE(recovering.Send("X\r\n\r\n"));
  EXPECT_EQ(recovering.Read(7), "5:X\r\n\r\n");

  TestClient failing(server.Port());
  ASSERT_TRUE(acceptedConnections(2));
  enumerationFailuresLeft = 1000;
  ASSERT_TRUE(failing.Send("Y\r\n\r\n"));
  EXPECT_TRUE(failing.ClosedWithin(10000));
  EXPECT_EQ(CountOccurrences(server.LogText(), "WSAEnumNetworkEvents(...) failure"), 3u);
}

#if defined(__linux__)
int OpenDescriptors() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++count;
  }
  return count;
}

// Each connection holds its socket and nothing else.
TEST_F(ClientConnectionTest, ConnectionHoldsOneDescriptor) {
  ASSERT_TRUE(server.Start(0));
  const int before = OpenDescriptors();
  std::vector<std::unique_ptr<TestClient>> clients;
  for (int i = 0; i < 3; ++i) {
    clients.push_back(std::make_unique<TestClient>(server.Port()));
    ASSERT_TRUE(clients.back()->Send("X\r\n\r\n"));
    EXPECT_EQ(clients.back()->Read(7), "5:X\r\n\r\n");
  }
  EXPECT_EQ(OpenDescriptors() - before, 3 * 2);  // the client's end and the server's
}
#endif

}  // namespace
