// Replies built while the page is being reloaded carry one version whole.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "common/diagnostic_log.h"
#include "http/index_page.h"
#include "http/request_handler.h"
#include "tests/support/fixed_clock.h"
#include "tests/support/temp_folder.h"

namespace {

constexpr std::string_view kPlainRequest = "GET /index.html HTTP/1.0\r\n\r\n";
constexpr std::string_view kGzipRequest =
    "GET /index.html HTTP/1.0\r\nAccept-Encoding: gzip\r\n\r\n";

std::string ReplyFor(const std::string& page, bool compressed) {
  const ServedBody body = MakeServedBody(page);
  const std::string& bytes = compressed ? body.gzip : body.plain;
  return "HTTP/1.0 200 OK\r\nDate: Thu, 01 Jan 1970 00:00:00 GMT\r\n"
         "Server: OrbelWebServer/0.1b\r\nAccept-Ranges: bytes\r\nContent-Length: " +
         std::to_string(bytes.size()) +
         "\r\nConnection: close\r\nContent-Type: text/html\r\nCache-Control: no-cache\r\n"
         "ETag: " +
         body.entityTag + "\r\nLast-Modified: " + body.lastModified +
         "\r\nVary: Accept-Encoding\r\n" + (compressed ? "Content-Encoding: gzip\r\n" : "") +
         "\r\n" + bytes;
}

platform::CalendarTime Epoch() {
  return CalendarTimeOf(1970, 1, 1, 4);
}

TEST(IndexPageReloadTest, RepliesNeverMixTwoVersions) {
  TempFolder folder;
  DiagnosticLog log(folder.File("Test.LOG"));
  const int logLevel = 0;
  IndexPage page;
  RequestHandler handler(page, log, logLevel, Epoch);

  const std::string shortPage(1000, 'a');
  const std::string longPage(30000, 'b');
  // Plain and compressed, each of one version.
  const std::string replies[2][2] = {{ReplyFor(shortPage, false), ReplyFor(longPage, false)},
                                     {ReplyFor(shortPage, true), ReplyFor(longPage, true)}};
  page.Publish(shortPage);

  std::atomic<bool> done{false};
  std::atomic<int> mixed{0};
  std::vector<std::thread> clients;
  for (int i = 0; i < 3; ++i) {
    clients.emplace_back([&] {
      std::string reply;
      int keepAlive = 0;
      for (bool compressed = false; !done; compressed = !compressed) {
        handler.Handle(compressed ? kGzipRequest : kPlainRequest, reply, keepAlive);
        const std::string(&either)[2] = replies[compressed ? 1 : 0];
        if (reply != either[0] && reply != either[1]) ++mixed;
      }
    });
  }
  for (int i = 0; i < 2000; ++i) page.Publish(i % 2 == 0 ? longPage : shortPage);
  done = true;
  for (std::thread& client : clients) client.join();
  EXPECT_EQ(mixed, 0);
}

}  // namespace
