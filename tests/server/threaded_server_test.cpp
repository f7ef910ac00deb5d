// The engine as a whole: start and stop, statistics, connections coming and
// going, and the failures it writes to its log.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <string>
#include <vector>

#include "platform/socket.h"
#include "platform/socket_calls.h"
#include "platform/thread.h"
#include "tests/server/accept_failure_codes.h"
#include "tests/server/echo_server.h"

namespace {

class ThreadedServerTest : public testing::Test {
 protected:
  TempFolder logFolder;
};

// True when the client's one-letter request comes back from the echo server.
bool Echoes(TestClient& client, const std::string& letter) {
  const std::string request = letter + "\r\n\r\n";
  return client.Send(request) && client.Read(7) == "5:" + request;
}

std::atomic<int> threadStartsUntilFailure{0};

platform::Result StartThreadUnlessArmed(platform::Thread& thread,
                                        platform::Thread::Function function, void* argument,
                                        std::size_t stackBytes) {
  if (threadStartsUntilFailure.load() > 0 && threadStartsUntilFailure.fetch_sub(1) == 1) {
    return platform::Result(EAGAIN);
  }
  return thread.Start(function, argument, stackBytes);
}

// While the result lives, the startNumber-th thread start of server from now
// on fails with EAGAIN, as the system's does when it has no thread to give.
platform::ReplacedCall<decltype(&StartThreadUnlessArmed)> FailThreadStart(EchoServer& server,
                                                                          int startNumber) {
  threadStartsUntilFailure = startNumber;
  return {server.ReplaceableSocketCalls().startThread, &StartThreadUnlessArmed};
}

// Starts the thread, then keeps the starting thread until released.
std::atomic<bool> threadStartMayReturn{true};

platform::Result StartThreadThenLinger(platform::Thread& thread,
                                       platform::Thread::Function function, void* argument,
                                       std::size_t stackBytes) {
  const platform::Result started = thread.Start(function, argument, stackBytes);
  while (!threadStartMayReturn.load()) platform::SleepMs(1);
  return started;
}

// The accepting thread runs again only once the connection has been served;
// the connection counts as active all the same.
TEST_F(ThreadedServerTest, KeepAliveConnectionCountsOnceAndEachReplyOnce) {
  EchoServer server(logFolder);
  ASSERT_TRUE(server.Start(0));
  threadStartMayReturn = false;
  const platform::ReplacedCall<decltype(&StartThreadThenLinger)> lingering{
      server.ReplaceableSocketCalls().startThread, &StartThreadThenLinger};
  struct Release {
    ~Release() { threadStartMayReturn = true; }
  } release;
  TestClient client(server.Port());
  ASSERT_TRUE(client.Connected());
  const std::vector<std::string> requests = {"GET /a\r\n\r\n", "GET /bb\r\n\r\n",
                                             "GET /ccc\r\n\r\n"};
  double bytesSent = 0;
  double bytesReceived = 0;
  for (const std::string& request : requests) {
    ASSERT_TRUE(client.Send(request));
    const std::string reply = EchoReply(request);
    EXPECT_EQ(client.Read(reply.size()), reply);
    bytesSent += static_cast<double>(reply.size());
    bytesReceived += static_cast<double>(request.size());
  }
  ASSERT_TRUE(WaitUntil([&] { return server.RepliesSent().size() == 3; }));

  const ServerStats stats = server.Statistics();
  EXPECT_EQ(stats.requests, 1);
  EXPECT_EQ(stats.activeConnections, 1);
  EXPECT_EQ(stats.visitors, 1);
  EXPECT_EQ(stats.kbSent, bytesSent / 1024);
  EXPECT_EQ(stats.kbReceived, bytesReceived / 1024);
  EXPECT_EQ(server.Addresses(), std::vector<std::string>{"127.0.0.1"});
}

TEST_F(ThreadedServerTest, VisitorsOutliveRestartsWhileCountersStartAtZero) {
  EchoServer server(logFolder);
  ASSERT_TRUE(server.Start(0));
  for (int connection = 0; connection < 2; ++connection) {
    TestClient client(server.Port());
    EXPECT_TRUE(Echoes(client, "X"));
  }
  EXPECT_EQ(server.Statistics().requests, 2);
  EXPECT_EQ(server.Statistics().visitors, 1);
  EXPECT_EQ(server.Shutdown(), 1);

  ASSERT_TRUE(server.Start(0));
  ServerStats stats = server.Statistics();
  EXPECT_EQ(stats.requests, 0);
  EXPECT_EQ(stats.kbSent, 0);
  EXPECT_EQ(stats.kbReceived, 0);
  EXPECT_EQ(stats.visitors, 1);

  TestClient client(server.Port());
  EXPECT_TRUE(Echoes(client, "X"));
  server.ResetStatistics();
  stats = server.Statistics();
  EXPECT_EQ(stats.requests, 0);
  EXPECT_EQ(stats.visitors, 1);
}

TEST_F(ThreadedServerTest, RunAndShutdownOnlyFromTheRightState) {
  EchoServer server(logFolder);
  EXPECT_EQ(server.Shutdown(), 0);
  ASSERT_TRUE(server.Start(0));
  EXPECT_EQ(server.Run(server.Port(), 0), 0);
  EXPECT_EQ(server.Shutdown(), 1);
  EXPECT_EQ(server.Shutdown(), 0);
  EXPECT_EQ(server.LogText(), "");
}

TEST_F(ThreadedServerTest, ShutdownEndsIdleConnectionsAndWaitsForThem) {
  EchoServer server(logFolder);
  ASSERT_TRUE(server.Start(0));
  std::vector<std::unique_ptr<TestClient>> clients;
  for (int i = 0; i < 3; ++i) {
    clients.push_back(std::make_unique<TestClient>(server.Port()));
    ASSERT_TRUE(clients.back()->Send("ping\r\n\r\n"));
    EXPECT_EQ(clients.back()->Read(10), "8:ping\r\n\r\n");
  }
  ASSERT_TRUE(WaitUntil([&] { return server.Statistics().activeConnections == 3; }));

  EXPECT_EQ(server.Shutdown(), 1);
  EXPECT_EQ(server.Statistics().activeConnections, 0);
  for (auto& client : clients) EXPECT_TRUE(client->ClosedWithin(5000));
  EXPECT_FALSE(TestClient(server.Port()).Connected());
}

TEST_F(ThreadedServerTest, ClientsThatCloseAtOnceStillDeregister) {
  EchoServer server(logFolder);
  ASSERT_TRUE(server.Start(0));
  constexpr int kClients = 20;
  for (int i = 0; i < kClients; ++i) {
    TestClient client(server.Port());
    ASSERT_TRUE(client.Connected());
  }
  EXPECT_TRUE(WaitUntil([&] {
    const ServerStats stats = server.Statistics();
    return stats.requests == kClients && stats.activeConnections == 0;
  }));
  EXPECT_EQ(server.Shutdown(), 1);
  EXPECT_EQ(server.LogText(), "");
}

TEST_F(ThreadedServerTest, PortInUseIsLoggedAndTheStartFailsAtOnce) {
  EchoServer holder(logFolder);
  ASSERT_TRUE(holder.Start(0));

  // A start-up wait no test would sit out: the failed start must not use it.
  constexpr int kStartupWaitMs = 600000;
  EchoServer second(logFolder, kStartupWaitMs);
  EXPECT_EQ(second.Run(holder.Port(), 0), 0);
  EXPECT_EQ(second.Shutdown(), 0);

  const std::string log = holder.LogText();
  const std::string bindLine = " - bind(...) failure.\t[AcceptThread]\t[";
  const std::size_t bindAt = log.find(bindLine);
  ASSERT_NE(bindAt, std::string::npos) << log;
  const int bindError = std::stoi(log.substr(bindAt + bindLine.size()));
  EXPECT_TRUE(platform::IsAddressInUse(bindError)) << bindError;
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;

  // The first server is untouched by the failed start.
  TestClient client(holder.Port());
  EXPECT_TRUE(Echoes(client, "X"));
}

TEST_F(ThreadedServerTest, FailedStartOfTheHelperLeavesNothingListening) {
  EchoServer server(logFolder);
  const auto failing = FailThreadStart(server, 2);
  EXPECT_FALSE(server.Start(0));
  EXPECT_NE(server.LogText().find(" - _beginthreadex(...) failure, for Helper Thread.\t[Run]\t[" +
                                  std::to_string(EAGAIN) + "]\r\n"),
            std::string::npos)
      << server.LogText();
  EXPECT_FALSE(TestClient(server.Port()).Connected());
  EXPECT_EQ(server.Shutdown(), 0);
  // The port is free again for the next start.
  EXPECT_EQ(server.Run(server.Port(), 0), 1);
}

// Each connection has a thread of its own, so its stack must be small: the
// system's default (8 MiB on Linux, 2 MiB in our Windows programs) would take
// a megabyte or more of memory per idle connection on Windows. (Wine gives
// every thread at least 1 MiB.)
TEST_F(ThreadedServerTest, ClientThreadsHaveASmallStack) {
  EchoServer server(logFolder);
  ASSERT_TRUE(server.Start(0));
  TestClient client(server.Port());
  ASSERT_TRUE(client.Send("STACK\r\n\r\n"));
  const std::string reply = client.Read(20, 5000);
  ASSERT_FALSE(reply.empty());
  EXPECT_GT(std::stoul(reply), 64u * 1024);
  EXPECT_LT(std::stoul(reply), 2u * 1024 * 1024);
}

std::atomic<int> armedAcceptFailure{0};

// Takes the connection, then drops it and fails with the armed code, as an
// accept does when the peer went away first.
platform::Result AcceptThenFailWhenArmed(platform::Socket& listening, platform::Socket& accepted,
                                         platform::PeerAddress& peer) {
  const platform::Result result = platform::AcceptConnection(listening, accepted, peer);
  const int code = armedAcceptFailure.exchange(0);
  if (!result || code == 0) return result;
  accepted.Close();
  return platform::Result(code);
}

// A peer that reset before its connection was taken is no failure of the
// server: a flood of them must not fill the log. A real fault still shows.
TEST_F(ThreadedServerTest, PeerGoneBeforeTheAcceptIsNotLogged) {
  EchoServer server(logFolder);
  ASSERT_TRUE(server.Start(0));
  const platform::ReplacedCall failingAccepts(server.ReplaceableSocketCalls().acceptConnection,
                                              &AcceptThenFailWhenArmed);
  const AcceptFailureCodes codes = SystemAcceptFailureCodes();
  std::vector<int> armed = codes.peerGone;
  armed.push_back(codes.serverFault);
  for (const int code : armed) {
    armedAcceptFailure = code;
    TestClient dropped(server.Port());
    EXPECT_TRUE(dropped.ClosedWithin(5000)) << code;
  }
  TestClient served(server.Port());
  EXPECT_TRUE(Echoes(served, "X"));
  const std::string log = server.LogText();
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
  EXPECT_NE(log.find(" - WSAAccept(...) failure.\t[AcceptThread]\t[" +
                     std::to_string(codes.serverFault) + "]\r\n"),
            std::string::npos)
      << log;
}

// A thread whose connection ended takes the next one: a thread start that
// would fail is never tried while one waits, and the connection counts once.
// Once none waits, a failed start logs and closes only that connection.
TEST_F(ThreadedServerTest, WaitingThreadServesTheNextConnection) {
  EchoServer server(logFolder);
  ASSERT_TRUE(server.Start(0));
  {
    TestClient first(server.Port());
    EXPECT_TRUE(Echoes(first, "X"));
  }
  // Its thread goes on to wait once the connection has ended: wait for that.
  ASSERT_TRUE(WaitUntil([&] { return server.WaitingClientThreads() == 1; }));

  const auto failing = FailThreadStart(server, 1);
  TestClient second(server.Port());
  EXPECT_TRUE(Echoes(second, "Y"));
  ServerStats stats = server.Statistics();
  EXPECT_EQ(stats.requests, 2);
  EXPECT_EQ(stats.activeConnections, 1);
  EXPECT_EQ(server.LogText(), "");

  TestClient third(server.Port());
  EXPECT_TRUE(third.ClosedWithin(5000));
  const std::string acceptLine = " - AddClient(...) failure.\t[AcceptThread]\t[0]";
  ASSERT_TRUE(WaitUntil([&] { return server.LogText().find(acceptLine) != std::string::npos; }))
      << server.LogText();
  const std::string log = server.LogText();
  EXPECT_LT(log.find(" - _beginthreadex(...) failure.\t[AddClient]\t[" +
                     std::to_string(EAGAIN) + "]"),
            log.find(acceptLine))
      << log;
  EXPECT_TRUE(Echoes(second, "Z"));
  TestClient fourth(server.Port());
  EXPECT_TRUE(Echoes(fourth, "W"));
  EXPECT_EQ(server.Statistics().requests, 4);
  EXPECT_EQ(server.Statistics().activeConnections, 2);
}

// Waiting threads would otherwise wait out their hour: Shutdown wakes them,
// and a restart serves again.
TEST_F(ThreadedServerTest, ShutdownEndsWaitingThreads) {
  EchoServer server(logFolder);
  server.SetClientIdleWait(3600 * 1000);
  ASSERT_TRUE(server.Start(0));
  for (int connection = 0; connection < 3; ++connection) {
    TestClient client(server.Port());
    EXPECT_TRUE(Echoes(client, "X"));
  }
  ASSERT_TRUE(WaitUntil([&] { return server.Statistics().activeConnections == 0; }));
  EXPECT_EQ(server.Shutdown(), 1);

  ASSERT_TRUE(server.Start(0));
  TestClient client(server.Port());
  EXPECT_TRUE(Echoes(client, "X"));
  EXPECT_EQ(server.Shutdown(), 1);
  EXPECT_EQ(server.LogText(), "");
}

}  // namespace
