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

std::string ReplyFor(const std::string& page) {
  return "HTTP/1.0 200 OK\r\nDate: Thu, 01 Jan 1970 00:00:00 GMT\r\n"
         "Server: OrbelWebServer/0.1b\r\nAccept-Ranges: bytes\r\nContent-Length: " +
         std::to_string(page.size()) +
         "\r\nConnection: close\r\nContent-Type: text/html\r\nCache-Control: no-cache\r\n\r\n" +
         page;
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
  const std::string shortReply = ReplyFor(shortPage);
  const std::string longReply = ReplyFor(longPage);
  page.Publish(shortPage);

  std::atomic<bool> done{false};
  std::atomic<int> mixed{0};
  std::vector<std::thread> clients;
  for (int i = 0; i < 3; ++i) {
    clients.emplace_back([&] {
      std::string reply;
      int keepAlive = 0;
      while (!done) {
        handler.Handle("GET /index.html HTTP/1.0\r\n\r\n", reply, keepAlive);
        if (reply != shortReply && reply != longReply) ++mixed;
      }
    });
  }
  for (int i = 0; i < 2000; ++i) page.Publish(i % 2 == 0 ? longPage : shortPage);
  done = true;
  for (std::thread& client : clients) client.join();
  EXPECT_EQ(mixed, 0);
}

}  // namespace
