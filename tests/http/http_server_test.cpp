// The HTTP server over loopback: starting, the request end test, replies on
// real connections and the failures that go to the engine's log.
#include "http/http_server.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "common/diagnostic_log.h"
#include "common/program_paths.h"
#include "http/index_page.h"
#include "platform/paths.h"
#include "platform/socket_client.h"
#include "tests/support/fake_ticks.h"
#include "tests/support/fixed_clock.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_folder.h"

namespace {

class TestHttpServer : public HttpServer {
 public:
  TestHttpServer(const IndexPage& page, DiagnosticLog& log, const int& logLevel,
                 const TempFolder& logFolder)
      : HttpServer(page, log, logLevel, FixedUtc) {
    SetLogFolder(logFolder.Path());
  }
  ~TestHttpServer() override { Shutdown(); }
  using HttpServer::SetTickSource;
};

// Everything the server sends until it closes the connection or stops for a while.
std::string ReadUntilQuiet(platform::ClientSocket& client, std::size_t expected,
                           int timeoutMs = 5000) {
  std::string received;
  char buffer[4096];
  while (received.size() < expected) {
    int count = 0;
    if (!client.ReceiveSome(buffer, sizeof buffer, timeoutMs, count) || count == 0) break;
    received.append(buffer, static_cast<std::size_t>(count));
  }
  return received;
}

bool ClosedByServer(platform::ClientSocket& client) {
  char byte;
  int count = 0;
  return client.ReceiveSome(&byte, 1, 5000, count) && count == 0;
}

class HttpServerTest : public testing::Test {
 protected:
  HttpServerTest() {
    page.Publish("<html>phone</html>");
    TempFolder::WriteAll(root.File("a.css"), "body{}");
  }

  bool Start(std::string serverRoot) {
    return platform::FindFreePort(port) &&
           server.StartServer(std::move(serverRoot), "index.html", port, 0) == 1;
  }

  TempFolder folder;
  TempFolder root;
  IndexPage page;
  DiagnosticLog log{folder.File("Test.LOG")};
  int logLevel = 0;
  TestHttpServer server{page, log, logLevel, folder};
  std::uint16_t port = 0;
};

TEST_F(HttpServerTest, RequestsEndWithAnEmptyLine) {
  EXPECT_EQ(server.IsRequestComplete("GET / HTTP/1.0\r\n\r\n"), 1);
  EXPECT_EQ(server.IsRequestComplete("GET / HTTP/1.0\r\n"), 0);
  EXPECT_EQ(server.IsRequestComplete("GET / HTTP/1.0\n\n"), 0);
  EXPECT_EQ(server.IsRequestComplete("\r\n\r\nX"), 0);
  EXPECT_EQ(server.IsRequestComplete(""), 0);
}

TEST_F(HttpServerTest, RootsGetTheSystemsSeparator) {
  const char separator = platform::PathSeparator();
  EXPECT_EQ(WithTrailingSeparator(""), std::string(1, separator));
  EXPECT_EQ(WithTrailingSeparator("www"), "www" + std::string(1, separator));
  EXPECT_EQ(WithTrailingSeparator("www" + std::string(1, separator)),
            "www" + std::string(1, separator));
}

TEST_F(HttpServerTest, ServesOverLoopbackAndKeepsAliveOnRequest) {
  int starts = 0;
  server.SetStartHook([&] { ++starts; });
  ASSERT_TRUE(Start(root.Path()));  // no separator at its end: added
  EXPECT_EQ(starts, 1);

  platform::ClientSocket client;
  ASSERT_TRUE(client.Connect(port));
  // As browsers send it.
  ASSERT_TRUE(client.SendAll("GET /a.css HTTP/1.1\r\nConnection: keep-alive\r\n\r\n"));
  const std::string cssReply =
      "HTTP/1.0 200 OK\r\nDate: Mon, 07 Dec 2026 20:44:52 GMT\r\n"
      "Server: OrbelWebServer/0.1b\r\nAccept-Ranges: bytes\r\nContent-Length: 6\r\n"
      "Connection: Keep-Alive\r\nContent-Type: text/css\r\n\r\nbody{}";
  EXPECT_EQ(ReadUntilQuiet(client, cssReply.size()), cssReply);

  ASSERT_TRUE(client.SendAll("GET /tolvex HTTP/1.1\r\n\r\n"));  // the flag stays set
  const std::string reportReply =
      "HTTP/1.0 200 OK\r\nDate: Mon, 07 Dec 2026 20:44:52 GMT\r\n"
      "Server: OrbelWebServer/0.1b\r\nAccept-Ranges: bytes\r\nContent-Length: 4\r\n"
      "Connection: Keep-Alive\r\nContent-Type: text/html\r\n\r\n0000";
  EXPECT_EQ(ReadUntilQuiet(client, reportReply.size()), reportReply);
  ServerStats stats;
  server.GetStatistics(stats);
  EXPECT_EQ(stats.requests, 1);  // one connection

  ASSERT_TRUE(client.SendAll("GET /missing HTTP/1.1\r\n\r\n"));
  const std::string notFound =
      "HTTP/1.0 404 Resource not found\r\nContent-Length: 0\r\nContent-Type: text/html\r\n"
      "Date: Mon, 07 Dec 2026 20:44:52 GMT\r\nServer: OrbelWebServer/0.1b\r\n\r\n";
  EXPECT_EQ(ReadUntilQuiet(client, notFound.size()), notFound);
  EXPECT_TRUE(ClosedByServer(client));

  EXPECT_EQ(server.Shutdown(), 1);
  ASSERT_TRUE(Start(root.Path()));
  EXPECT_EQ(starts, 2);
}

// A phone refused for the access key is no visitor: it counts apart, also
// when it comes back with the key. Visitors are counted once a reply went
// out, so the count is read after the reply.
TEST_F(HttpServerTest, RefusedPhonesCountApartFromVisitors) {
  server.SetAccessKey("k3y");
  ASSERT_TRUE(Start(root.Path()));
  platform::ClientSocket client;
  ASSERT_TRUE(client.Connect(port));
  ASSERT_TRUE(client.SendAll("GET /tolvex HTTP/1.1\r\nConnection: keep-alive\r\n\r\n"));
  const auto visitorsAndRefused = [this] {
    ServerStats stats;
    server.GetStatistics(stats);
    return std::pair{stats.visitors, stats.refusedPhones};
  };
  EXPECT_NE(ReadUntilQuiet(client, 12).find(" 403 "), std::string::npos);
  EXPECT_EQ(visitorsAndRefused(), std::pair(0, 1));
  ASSERT_TRUE(client.SendAll("GET /tolvex HTTP/1.1\r\nCookie: TVXKey=k3y\r\n\r\n"));
  EXPECT_NE(ReadUntilQuiet(client, 12).find(" 200 "), std::string::npos);
  EXPECT_EQ(visitorsAndRefused(), std::pair(1, 1));
}

// A request that follows a served one in the same packet has the whole
// persistence timeout from its own first byte: neither from the first
// request's start nor from its own later bytes. The server looks at the
// clock when bytes come, so each step sends one.
TEST_F(HttpServerTest, APipelinedRequestIsTimedFromItsOwnFirstByte) {
  constexpr std::uint32_t kTimeoutMs = 60000;
  fakeTicks = 1000;
  server.SetTickSource(&FakeTicks);
  ASSERT_TRUE(platform::FindFreePort(port));
  ASSERT_EQ(server.StartServer(root.Path(), "index.html", port, kTimeoutMs), 1);
  platform::ClientSocket client;
  ASSERT_TRUE(client.Connect(port));
  const std::string request = "GET /tolvex HTTP/1.1\r\nConnection: keep-alive\r\n\r\n";
  std::size_t sent = 0;
  const auto send = [&](const std::string& bytes) {
    ASSERT_TRUE(client.SendAll(bytes));
    sent += bytes.size();
    ASSERT_TRUE(WaitFor(
        [&] {
          ServerStats stats;
          server.GetStatistics(stats);
          return stats.kbReceived == static_cast<double>(sent) / 1024;
        },
        10000));
  };
  const std::size_t replySize = 179;  // each report's reply, ending in its body "0000"
  send(request.substr(0, 4));
  fakeTicks += kTimeoutMs - 1;
  send(request.substr(4) + request.substr(0, 4));  // the first ends, the second starts
  EXPECT_TRUE(ReadUntilQuiet(client, replySize).ends_with("\r\n\r\n0000"));
  fakeTicks += kTimeoutMs - 1;
  send(request.substr(4) + request.substr(0, 4));  // served: a minute less a tick old
  EXPECT_TRUE(ReadUntilQuiet(client, replySize).ends_with("\r\n\r\n0000"));
  fakeTicks += kTimeoutMs / 2;
  send(request.substr(4, 4));
  fakeTicks += kTimeoutMs / 2;
  static_cast<void>(client.SendAll("x"));  // may fail: the server closes meanwhile
  EXPECT_TRUE(ClosedByServer(client));
}

// Requests that come in one packet are answered one by one, and each report
// is forwarded with the peer's address, which tells phones on one pointer
// number apart; the last asks for the close and gets it.
TEST_F(HttpServerTest, PipelinedReportsReachTheProtocolInTurnWithThePeersAddress) {
  struct Recorder : PointerReportHandler {
    ResponseText HandlePointerReport(std::string_view path, std::uint32_t peer) override {
      std::lock_guard guard(lock);
      paths.emplace_back(path);
      peers.push_back(peer);
      return kNoCommandResponse;
    }
    std::mutex lock;
    std::vector<std::string> paths;
    std::vector<std::uint32_t> peers;
  } recorder;
  server.SetPointerReportHandler(&recorder);
  ASSERT_TRUE(Start(root.Path()));
  platform::ClientSocket client;
  ASSERT_TRUE(client.Connect(port));
  ASSERT_TRUE(
      client.SendAll("GET /tolvex1 HTTP/1.1\r\nConnection: keep-alive\r\n\r\n"
                     "GET /tolvex2 HTTP/1.1\r\n\r\nGET /tolvex3 HTTP/1.1\r\n\r\nGET /tol"));
  ASSERT_TRUE(client.SendAll("vex4 HTTP/1.1\r\nConnection: close\r\n\r\n"));
  const std::string replies = ReadUntilQuiet(client, 1 << 20);
  std::size_t answered = 0;
  for (auto at = replies.find("200 OK"); at != std::string::npos;
       at = replies.find("200 OK", at + 1))
    ++answered;
  EXPECT_EQ(answered, 4u) << replies;
  EXPECT_TRUE(replies.ends_with("Connection: close\r\nContent-Type: text/html\r\n\r\n0000"))
      << replies;
  EXPECT_EQ(server.Shutdown(), 1);
  EXPECT_EQ(recorder.paths,
            (std::vector<std::string>{"/tolvex1", "/tolvex2", "/tolvex3", "/tolvex4"}));
  EXPECT_EQ(recorder.peers, std::vector<std::uint32_t>(4, 0x7F000001u));  // 127.0.0.1
}

TEST_F(HttpServerTest, WithoutKeepAliveTheConnectionCloses) {
  ASSERT_TRUE(Start(root.Path()));
  platform::ClientSocket client;
  ASSERT_TRUE(client.Connect(port));
  ASSERT_TRUE(client.SendAll("GET /index.html HTTP/1.0\r\n\r\n"));
  const std::string reply = ReadUntilQuiet(client, 1 << 20);
  EXPECT_TRUE(
      reply.ends_with("Connection: close\r\nContent-Type: text/html\r\nCache-Control: no-cache\r\n"
                      "ETag: " +
                      MakeServedBody("<html>phone</html>").entityTag +
                      "\r\nLast-Modified: " + MakeServedBody("<html>phone</html>").lastModified +
                      "\r\nVary: Accept-Encoding\r\n\r\n<html>phone</html>"))
      << reply;
}

TEST_F(HttpServerTest, MalformedRequestsAreLoggedAndGetNoReply) {
  ASSERT_TRUE(Start(root.Path()));
  for (const char* request : {"NONSENSE\r\n\r\n", "GET /index.html\r\n\r\n"}) {
    platform::ClientSocket client;
    ASSERT_TRUE(client.Connect(port));
    ASSERT_TRUE(client.SendAll(request));
    EXPECT_TRUE(ClosedByServer(client)) << request;
  }
  const std::string errors = TempFolder::ReadAll(folder.File("DIDidezu.log"));
  EXPECT_NE(errors.find(" - No 'space' found in Request String #2.\t[ParseRequest]\t[0]\r\n"),
            std::string::npos)
      << errors;
  EXPECT_NE(errors.find(" - No 'space' found in Request String #1.\t[ParseRequest]\t[0]\r\n"),
            std::string::npos)
      << errors;
}

// Without a configured root nothing of the disk is served, not even by an
// absolute path that the empty root would otherwise turn into.
TEST_F(HttpServerTest, EmptyRootServesNoFiles) {
  ASSERT_TRUE(Start(""));
  std::string absolute = root.File("a.css");
  absolute = absolute.substr(absolute.find_first_of("/\\") + 1);
  for (char& c : absolute) c = c == '\\' ? '/' : c;
  platform::ClientSocket client;
  ASSERT_TRUE(client.Connect(port));
  ASSERT_TRUE(client.SendAll("GET /" + absolute + " HTTP/1.0\r\n\r\n"));
  const std::string reply = ReadUntilQuiet(client, 1 << 20);
  EXPECT_TRUE(reply.starts_with("HTTP/1.0 404 Resource not found\r\nContent-Length: 0\r\n"))
      << reply;

  // Nor from the working folder, where names without a root would lead: not
  // the not-found page, not the page for other methods.
  TempFolder::WriteAll(root.File("fnf.html"), "not found page");
  TempFolder::WriteAll(root.File("mna.html"), "other methods page");
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(root.Path());
  for (const std::string request :
       {"GET /fnf.html HTTP/1.0\r\n\r\n", "GET /no-such-file HTTP/1.0\r\n\r\n",
        "POST /a.css HTTP/1.0\r\n\r\n"}) {
    platform::ClientSocket next;
    ASSERT_TRUE(next.Connect(port));
    ASSERT_TRUE(next.SendAll(request));
    const std::string answer = ReadUntilQuiet(next, 1 << 20);
    EXPECT_TRUE(answer.ends_with("\r\n\r\n") && answer.find(" 404 ") != std::string::npos)
        << request << answer;
  }
  std::filesystem::current_path(previous);
}

TEST_F(HttpServerTest, LargeFileArrivesWholeAfterItsExactLength) {
  std::string file(3 * 1024 * 1024 + 5, '\0');
  for (std::size_t i = 0; i < file.size(); ++i) file[i] = static_cast<char>(i * 31 / 7);
  TempFolder::WriteAll(root.File("big.bin"), file);
  ASSERT_TRUE(Start(root.Path()));
  platform::ClientSocket client;
  ASSERT_TRUE(client.Connect(port));
  ASSERT_TRUE(client.SendAll("GET /big.bin HTTP/1.0\r\n\r\n"));
  const std::string reply = ReadUntilQuiet(client, std::size_t{1} << 30);
  const std::size_t headerEnd = reply.find("\r\n\r\n");
  ASSERT_NE(headerEnd, std::string::npos);
  EXPECT_NE(reply.substr(0, headerEnd).find("Content-Length: 3145733"), std::string::npos);
  EXPECT_TRUE(reply.substr(headerEnd + 4) == file);
}

}  // namespace
