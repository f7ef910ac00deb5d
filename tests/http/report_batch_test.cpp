#include "http/report_batch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "common/diagnostic_log.h"
#include "http/index_page.h"
#include "http/request_handler.h"
#include "platform/paths.h"
#include "pointer/pointer_protocol.h"
#include "tests/support/fixed_clock.h"
#include "tests/support/log_lines.h"
#include "tests/support/temp_folder.h"

namespace {

// One report's 23 characters: layout 1, screen 0, the rest as given.
std::string Item(int pointer, int frame, int left = 0, int ack = 0) {
  char item[32];
  std::snprintf(item, sizeof item, "100%02X%04X80008000%d002%02X", pointer, frame, left, ack);
  return item;
}

// "/batch" and count items of pointer 3, frames 1 to count.
std::string Batch(int count, int ack = 0) {
  std::string path = "/batch";
  for (int frame = 1; frame <= count; ++frame) path += "/" + Item(3, frame, frame % 2, ack);
  return path;
}

TEST(ReportBatchTest, RouteIsBatchAloneOrBeforeSlashOrQuery) {
  for (const char* path : {"/batch", "/batch/", "/batch/x", "/batch?t=1"})
    EXPECT_TRUE(IsBatchRoute(path));
  for (const char* path : {"/batches.html", "/batc", "/x/batch/"}) EXPECT_FALSE(IsBatchRoute(path));
}

TEST(ReportBatchTest, ParsesWholeBatchesAndNamesTheFirstFault) {
  const std::string one = Item(3, 1);
  struct Case {
    std::string path;
    BatchFault fault;
    std::size_t count;  // reports, or the faulty one
  };
  const Case cases[] = {
      {Batch(1), BatchFault::kNone, 1},
      {Batch(32), BatchFault::kNone, 32},
      {Batch(2) + "?t=" + one + "/zz", BatchFault::kNone, 2},
      {"/batch/" + Item(79, 1) + "/" + Item(0, 0xFFFF), BatchFault::kNone, 2},
      {Batch(33), BatchFault::kTooMany, 0},
      {"/batch", BatchFault::kEmpty, 0},
      {"/batch/", BatchFault::kEmpty, 0},
      {"/batch?" + one, BatchFault::kEmpty, 0},
      {"/batch/" + one + "/", BatchFault::kWrongLength, 2},
      {"/batch/" + one.substr(1), BatchFault::kWrongLength, 1},
      {"/batch/" + one + one, BatchFault::kNoSeparator, 1},
      {"/batch/" + one + "/" + one + "0", BatchFault::kNoSeparator, 2},
      {"/batch/" + one + "/" + one.substr(0, 22) + "g", BatchFault::kNotHex, 2},
      {"/batch/" + Item(80, 1), BatchFault::kNoSuchPointer, 1},
  };
  for (const Case& c : cases) {
    ReportBatch batch;
    EXPECT_EQ(ParseReportBatch(c.path, batch), c.fault == BatchFault::kNone) << c.path;
    EXPECT_EQ(batch.fault, c.fault) << c.path;
    EXPECT_EQ(c.fault == BatchFault::kNone ? batch.count : batch.faultyReport, c.count) << c.path;
  }
  ReportBatch batch;
  const std::string full = Batch(32);
  ASSERT_TRUE(ParseReportBatch(full, batch));
  EXPECT_EQ(batch.reports[0], Item(3, 1, 1));
  EXPECT_EQ(batch.reports[31], Item(3, 32, 0));
}

// A buffer too small for the line gets what fits, and its length counts
// only that: the caller sends that many bytes.
TEST(ReportBatchTest, AFaultLineCutToItsBufferCountsWhatItHolds) {
  ReportBatch batch;
  ASSERT_FALSE(ParseReportBatch("/batch", batch));
  const std::string line = "Bad batch: no reports\n";
  for (const std::size_t size : {line.size() + 1, line.size(), std::size_t{2}}) {
    char out[96];
    const std::size_t length = FormatBatchFault(batch, out, size);
    EXPECT_EQ(std::string(out, length), line.substr(0, size - 1)) << size;
    EXPECT_EQ(out[length], '\0') << size;
  }
}

// Records each report and whether its answer reaches the phone; answers
// with the report's frame, so that the reply shows whose answer it is.
class RecordingHandler : public PointerReportHandler {
 public:
  ResponseText HandlePointerReport(std::string_view path, std::uint32_t) override {
    reports.push_back(std::string(path) + " single");
    return {path[12], path[13], path[14], path[15]};
  }
  ResponseText HandleBatchedReport(std::string_view path, std::uint32_t, bool answered) override {
    reports.push_back(std::string(path) + (answered ? " answered" : " unanswered"));
    return {path[12], path[13], path[14], path[15]};
  }
  std::vector<std::string> reports;
};

class BatchRouteTest : public testing::Test {
 protected:
  BatchRouteTest() { handler.SetPointerReportHandler(&recorder); }

  std::string Reply(const std::string& path, const std::string& headers = "",
                    const std::string& method = "GET") {
    std::string reply;
    int keepAlive = 0;
    handler.Handle(method + " " + path + " HTTP/1.1\r\n" + headers + "\r\n", reply, keepAlive,
                   ClientAddress{{192, 168, 1, 7}});
    return reply;
  }

  TempFolder folder;
  IndexPage indexPage;
  DiagnosticLog log{folder.File("Test.LOG")};
  int logLevel = 0;
  std::uint32_t tick = 0;
  RequestHandler handler{indexPage, log, logLevel, FixedUtc, [this] { return tick; }};
  RecordingHandler recorder;
};

TEST_F(BatchRouteTest, ReportsGoInOrderAndTheLastOneAnswers) {
  const std::string reply =
      Reply("/BATCH/" + Item(3, 7, 1) + "/" + Item(3, 8) + "/" + Item(3, 9, 1) + "?T=9");
  EXPECT_TRUE(reply.starts_with("HTTP/1.0 200 OK\r\n")) << reply;
  EXPECT_NE(reply.find("\r\nContent-Type: text/html\r\n"), std::string::npos) << reply;
  EXPECT_TRUE(reply.ends_with("\r\n\r\n0009")) << reply;
  EXPECT_EQ(recorder.reports, (std::vector<std::string>{"/tolvex" + Item(3, 7, 1) + " unanswered",
                                                        "/tolvex" + Item(3, 8) + " unanswered",
                                                        "/tolvex" + Item(3, 9, 1) + " answered"}));
}

TEST_F(BatchRouteTest, BadBatchesAreRefusedWholeAndLoggedOncePerMinute) {
  const std::string text = "Bad batch: report 2 has a pointer number above 79\n";
  const std::string reply = Reply("/batch/" + Item(3, 1) + "/" + Item(0x50, 1));
  EXPECT_TRUE(reply.starts_with("HTTP/1.0 400 Bad Request\r\n")) << reply;
  EXPECT_TRUE(reply.ends_with("\r\nContent-Length: " + std::to_string(text.size()) +
                              "\r\nConnection: close\r\nContent-Type: text/plain\r\n\r\n" + text))
      << reply;
  Reply("/batch");
  tick = 60000;
  Reply(Batch(33));
  EXPECT_TRUE(recorder.reports.empty());
  EXPECT_EQ(
      LogMessages(log.Path()),
      (std::vector<std::string>{
          "Report refused from 192.168.1.7: Bad batch: report 2 has a pointer number above 79",
          "Report refused from 192.168.1.7: Bad batch: more than 32 reports"}));
}

TEST_F(BatchRouteTest, TheAccessKeyAndTheMethodApplyAsToAReport) {
  handler.SetAccessKey("s3cret");
  EXPECT_TRUE(Reply(Batch(2)).starts_with("HTTP/1.0 403 Forbidden\r\n"));
  EXPECT_TRUE(Reply(Batch(33)).starts_with("HTTP/1.0 403 Forbidden\r\n"));
  EXPECT_TRUE(recorder.reports.empty());
  EXPECT_EQ(handler.RefusedReports(), 2u);
  EXPECT_TRUE(Reply(Batch(2), "Cookie: TVXKey=s3cret\r\n").ends_with("\r\n\r\n0002"));

  // With a folder to serve, a request of another method gets 501.
  TempFolder::WriteAll(folder.File("mna.html"), "no");
  handler.SetServerRoot(folder.Path() + platform::PathSeparator());
  EXPECT_TRUE(Reply(Batch(2), "Cookie: TVXKey=s3cret\r\n", "POST")
                  .starts_with("HTTP/1.0 501 Not Implemented\r\n"));
  EXPECT_EQ(recorder.reports.size(), 2u);
}

// The phone sees only the batch's answer: every command reaches it once, in
// order, however many reports a batch carries and whatever packet number a
// command goes out as.
TEST(BatchCommandTest, EveryCommandReachesThePhoneOnceAndInOrder) {
  TempFolder folder;
  DiagnosticLog log{folder.File("Test.LOG")};
  std::atomic<int> selectedPointer{3};
  int logLevel = 0;
  PointerProtocol protocol{{selectedPointer, logLevel}, log, [] { return 5000u; }};
  ReportBatch batch;
  int frame = 0;
  const auto send = [&](int reports, int ack) {
    std::string path = "/batch";
    for (int i = 0; i < reports; ++i) path += "/" + Item(3, ++frame, i % 2, ack);
    EXPECT_TRUE(ParseReportBatch(path, batch));
    const ResponseText answer = ForwardReportBatch(batch, protocol, 0);
    return std::string(answer.data(), answer.size());
  };

  protocol.QueueVibrateCommand(kVibrateShortSingle);
  EXPECT_EQ(send(3, 0), "01A0");
  protocol.QueueVibrateCommand(kVibrateLongSingle);
  EXPECT_EQ(send(4, 0), "01A0");  // not echoed yet: repeated, the next one waits
  EXPECT_EQ(send(2, 1), "02A2");
  EXPECT_EQ(send(1, 2), "0200");

  // Up to packet FF; the next command goes out as packet 00, which awaits
  // no echo: the batch's later reports must not replace it.
  for (int packet = 3; packet <= 0xFF; ++packet) {
    protocol.QueueVibrateCommand(kVibrateShortDouble);
    send(1, packet - 1);
  }
  protocol.QueueVibrateCommand(kVibrateNormalDouble);
  EXPECT_EQ(send(3, 0xFF), "00A4");
}

}  // namespace
