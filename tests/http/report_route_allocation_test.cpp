// The report route runs many times a second per phone: once the connection's
// reply buffer has grown, answering a report must not allocate at all.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "common/diagnostic_log.h"
#include "common/program_paths.h"
#include "http/file_reply_body.h"
#include "http/index_page.h"
#include "http/request_handler.h"
#include "platform/paths.h"
#include "pointer/pointer_names.h"
#include "pointer/pointer_protocol.h"
#include "tests/support/temp_folder.h"

namespace {

thread_local bool countingThisThread = false;
thread_local int allocationsThisThread = 0;
thread_local std::size_t largestAllocationThisThread = 0;

void* Allocate(std::size_t size) {
  if (countingThisThread) {
    ++allocationsThisThread;
    if (size > largestAllocationThisThread) largestAllocationThisThread = size;
  }
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) {
  return Allocate(size);
}
void* operator new[](std::size_t size) {
  return Allocate(size);
}
void operator delete(void* block) noexcept {
  std::free(block);
}
void operator delete[](void* block) noexcept {
  std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
  std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
  std::free(block);
}

namespace {

class FixedProtocol : public PointerReportHandler {
 public:
  ResponseText HandlePointerReport(std::string_view, std::uint32_t) override {
    return {'0', '2', '0', '0'};
  }
};

TEST(ReportRouteAllocationTest, AnsweringAReportAllocatesNothing) {
  TempFolder folder;
  IndexPage indexPage;
  DiagnosticLog log(folder.File("Test.LOG"));
  const int logLevel = 1;
  RequestHandler handler(indexPage, log, logLevel);
  FixedProtocol protocol;
  handler.SetPointerReportHandler(&protocol);

  const std::string request =
      "GET /tolvex0010000800080000000000002 HTTP/1.1\r\nHost: 192.168.1.20:8080\r\n"
      "Connection: Keep-Alive\r\n\r\n";
  std::string reply;
  int keepAlive = 0;
  ASSERT_EQ(handler.Handle(request, reply, keepAlive), RequestHandler::Outcome::kReplied);

  countingThisThread = true;
  for (int i = 0; i < 100; ++i) handler.Handle(request, reply, keepAlive);
  countingThisThread = false;
  EXPECT_EQ(allocationsThisThread, 0);
  EXPECT_TRUE(reply.ends_with("\r\n\r\n0200"));

  // Nor when the report has to show the class's access key.
  handler.SetAccessKey("s3cret");
  const std::string withKey =
      "GET /tolvex0010000800080000000000002 HTTP/1.1\r\nHost: 192.168.1.20:8080\r\n"
      "Cookie: theme=dark; TVXKey=s3cret\r\nConnection: Keep-Alive\r\n\r\n";
  countingThisThread = true;
  for (int i = 0; i < 100; ++i) handler.Handle(withKey, reply, keepAlive);
  countingThisThread = false;
  EXPECT_EQ(allocationsThisThread, 0);
  EXPECT_TRUE(reply.ends_with("\r\n\r\n0200"));

  // Nor a full batch of them.
  std::string batch = "GET /batch";
  for (int i = 0; i < 32; ++i) batch += "/10003000180008000000200";
  batch += "?t=12345 HTTP/1.1\r\nCookie: TVXKey=s3cret\r\nConnection: Keep-Alive\r\n\r\n";
  countingThisThread = true;
  for (int i = 0; i < 100; ++i) handler.Handle(batch, reply, keepAlive);
  countingThisThread = false;
  EXPECT_EQ(allocationsThisThread, 0);
  EXPECT_TRUE(reply.ends_with("\r\n\r\n0200")) << reply;
}

// The same through the real protocol, for a phone that named its pointer:
// keeping track of which address holds the number, and the name the number
// carries, adds nothing to allocate. Nor does the report by which another
// phone takes the number over and the name goes.
TEST(ReportRouteAllocationTest, ANamedPointersReportsAllocateNothing) {
  TempFolder folder;
  IndexPage indexPage;
  DiagnosticLog log(folder.File("Test.LOG"));
  const int logLevel = 1;
  RequestHandler handler(indexPage, log, logLevel);
  const std::atomic<int> selectedPointer{17};
  std::uint32_t now = 5000;
  PointerProtocol protocol({selectedPointer, logLevel}, log, [&now] { return now; });
  PointerNames names;
  protocol.AttachNames(&names);
  NameRoute nameRoute(names, [&protocol](int pointer, std::uint32_t peer) {
    return protocol.Holds(pointer, peer);
  });
  handler.SetPointerReportHandler(&protocol);
  handler.SetNameRoute(&nameRoute);
  ASSERT_EQ(names.Set(17, "Mia Sørensen-Ōkubo"), PointerNames::Refusal::kNone);

  const ClientAddress mia{{192, 168, 1, 31}};
  const std::string report =
      "GET /tolvex10011000180008000000200 HTTP/1.1\r\nConnection: Keep-Alive\r\n\r\n";
  std::string batch = "GET /batch";
  for (int i = 0; i < 32; ++i) batch += "/10011000180008000000200";
  batch += "?t=12345 HTTP/1.1\r\nConnection: Keep-Alive\r\n\r\n";
  std::string reply;
  int keepAlive = 0;
  ASSERT_EQ(handler.Handle(report, reply, keepAlive, mia), RequestHandler::Outcome::kReplied);
  ASSERT_TRUE(protocol.Holds(17, mia.Packed()));

  countingThisThread = true;
  for (int i = 0; i < 100; ++i, ++now) {
    handler.Handle(report, reply, keepAlive, mia);
    handler.Handle(batch, reply, keepAlive, mia);
  }
  countingThisThread = false;
  EXPECT_EQ(allocationsThisThread, 0);
  EXPECT_TRUE(reply.ends_with("\r\n\r\n0000")) << reply;
  EXPECT_EQ(names.Get(17), "Mia Sørensen-Ōkubo");

  const ClientAddress next{{192, 168, 1, 32}};
  now += 2 * PointerPeers::kTogetherMs;
  countingThisThread = true;
  handler.Handle(report, reply, keepAlive, next);
  countingThisThread = false;
  EXPECT_EQ(allocationsThisThread, 0);
  EXPECT_TRUE(protocol.Holds(17, next.Packed()));
  EXPECT_EQ(names.Get(17), "");
}

// A file of the root is answered with its header alone and read while it is
// sent: answering never holds a copy of it, however large it is.
TEST(ReportRouteAllocationTest, AnsweringWithAFileHoldsNoCopyOfIt) {
  TempFolder folder;
  std::string file(4 * 1024 * 1024, 'x');
  file.back() = 'E';
  TempFolder::WriteAll(folder.File("big.bin"), file);
  IndexPage indexPage;
  DiagnosticLog log(folder.File("Test.LOG"));
  const int logLevel = 0;
  RequestHandler handler(indexPage, log, logLevel);
  handler.SetServerRoot(folder.Path() + platform::PathSeparator());

  std::string reply;
  std::unique_ptr<ReplyBody> body;
  int keepAlive = 0;
  countingThisThread = true;
  const auto outcome = handler.Handle("GET /big.bin HTTP/1.0\r\n\r\n", reply, body, keepAlive);
  countingThisThread = false;
  ASSERT_EQ(outcome, RequestHandler::Outcome::kReplied);
  EXPECT_LT(largestAllocationThisThread, std::size_t{64 * 1024});
  EXPECT_NE(reply.find("\r\nContent-Length: 4194304\r\n"), std::string::npos) << reply;
  EXPECT_TRUE(reply.ends_with("\r\n\r\n"));
  ASSERT_TRUE(body != nullptr);
  EXPECT_EQ(body->Size(), file.size());
  std::string sent;
  ASSERT_TRUE(AppendReplyBody(sent, *body));
  EXPECT_TRUE(sent == file);
}

}  // namespace
