#include "http/request_handler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "common/diagnostic_log.h"
#include "common/program_paths.h"
#include "http/browser_icon.h"
#include "http/favicon.h"
#include "http/index_page.h"
#include "platform/paths.h"
#include "tests/support/fixed_clock.h"
#include "tests/support/log_lines.h"
#include "tests/support/temp_folder.h"

namespace {

using Lines = std::vector<std::string>;
using Outcome = RequestHandler::Outcome;

constexpr std::string_view kDateLine = "Date: Mon, 07 Dec 2026 20:44:52 GMT\r\n";

std::string Header(std::string_view status, std::size_t length, std::string_view connection,
                   std::string_view type, std::string_view cache = {},
                   std::string_view extraLines = {}) {
  return "HTTP/1.0 " + std::string(status) + "\r\n" + std::string(kDateLine) +
         "Server: OrbelWebServer/0.1b\r\nAccept-Ranges: bytes\r\nContent-Length: " +
         std::to_string(length) + "\r\nConnection: " + std::string(connection) +
         "\r\nContent-Type: " + std::string(type) + "\r\n" +
         (cache.empty() ? "" : "Cache-Control: " + std::string(cache) + "\r\n") +
         std::string(extraLines) + "\r\n";
}

// What a prepared body's replies say of it: its tag, and that they vary.
std::string TagLines(std::string_view body) {
  const ServedBody served = MakeServedBody(std::string(body));
  return "ETag: " + served.entityTag + "\r\nLast-Modified: " + served.lastModified +
         "\r\nVary: Accept-Encoding\r\n";
}

// The page's own files say how long to keep them; the root's files do not.
std::string PageHeader(std::string_view page) {
  return Header("200 OK", page.size(), "close", "text/html", "no-cache", TagLines(page));
}

std::string NotFound(std::string_view page) {
  return "HTTP/1.0 404 Resource not found\r\nContent-Length: " + std::to_string(page.size()) +
         "\r\nContent-Type: text/html\r\n" + std::string(kDateLine) +
         "Server: OrbelWebServer/0.1b\r\n\r\n" + std::string(page);
}

class RecordingReportHandler : public PointerReportHandler {
 public:
  ResponseText HandlePointerReport(std::string_view routingPath, std::uint32_t) override {
    paths.emplace_back(routingPath);
    return {'0', '1', 'A', '0'};
  }
  std::vector<std::string> paths;
};

// The server root is a folder "www" inside the test folder, so that files
// beside it are outside the root.
class RequestHandlerTest : public testing::Test {
 protected:
  RequestHandlerTest() {
    std::filesystem::create_directory(root);
    handler.SetServerRoot(root + platform::PathSeparator());
    handler.SetDefaultIndexFile("index.html");
    indexPage.Publish("<html>phone</html>");
  }

  // Reply to a request on a fresh connection; the flag it leaves in keepAlive.
  std::string Reply(std::string_view request) {
    std::string reply = "untouched";
    keepAlive = 0;
    const Outcome outcome = handler.Handle(request, reply, keepAlive);
    // A phone refused for the key is told apart, for the count of refused phones.
    EXPECT_EQ(outcome == Outcome::kRefused, reply.starts_with("HTTP/1.0 403")) << request;
    EXPECT_TRUE(outcome == Outcome::kReplied || outcome == Outcome::kRefused) << request;
    return reply;
  }
  // The reply to a request from the given phone.
  std::string ReplyTo(const ClientAddress& client, const std::string& request) {
    std::string reply;
    int flag = 0;
    handler.Handle(request, reply, flag, client);
    return reply;
  }
  std::string Get(std::string_view path) {
    return Reply("GET " + std::string(path) + " HTTP/1.0\r\n\r\n");
  }
  void WriteRootFile(const std::string& name, const std::string& bytes) {
    TempFolder::WriteAll(JoinPath(root, name), bytes);
  }
  Lines Messages() const { return LogMessages(log.Path()); }

  TempFolder folder;
  std::string root = folder.File("www");
  IndexPage indexPage;
  DiagnosticLog log{folder.File("Test.LOG")};
  int logLevel = 0;
  std::uint32_t tick = 0;
  RequestHandler handler{indexPage, log, logLevel, FixedUtc, [this] { return tick; }};
  int keepAlive = 0;
};

TEST_F(RequestHandlerTest, IndexPageReplyBytes) {
  EXPECT_EQ(Reply("GET / HTTP/1.1\r\nConnection: Keep-Alive\r\n\r\n"),
            Header("200 OK", 18, "Keep-Alive", "text/html", "no-cache",
                   TagLines("<html>phone</html>")) +
                "<html>phone</html>");
  EXPECT_EQ(keepAlive, 1);
  const std::string expected = PageHeader("<html>phone</html>") + "<html>phone</html>";
  EXPECT_EQ(Get("/index.htm"), expected);
  EXPECT_EQ(Get("/INDEX.HTML"), expected);
  EXPECT_EQ(Get(""), expected);
}

TEST_F(RequestHandlerTest, IndexPageServesItsBytesWholeAndEmptyBeforeTheFirstLoad) {
  const std::string page("a\0b\0\0c", 6);
  indexPage.Publish(page);
  EXPECT_EQ(Get("/index.html"), PageHeader(page) + page);
  indexPage.Publish("");
  EXPECT_EQ(Get("/index.html"), PageHeader(""));
}

TEST_F(RequestHandlerTest, IconReplyCarriesTheBrowsersImagesWhole) {
  const std::string icon = IcoWithWidths(FaviconData(), {32, 16});
  const std::string expected =
      Header("200 OK", icon.size(), "close", "image/x-icon", "max-age=86400", TagLines(icon)) +
      std::string(icon);
  EXPECT_EQ(Get("/favicon.ico"), expected);
  EXPECT_EQ(Get("/favicon.ico?v=2"), expected);
  EXPECT_EQ(Get("/FAVICON.ICO"), expected);
}

TEST_F(RequestHandlerTest, TheIconIsASixImageIcoFile) {
  const std::string_view icon = FaviconData();
  ASSERT_GT(icon.size(), 102u);
  EXPECT_EQ(icon.substr(0, 6), std::string_view("\0\0\1\0\6\0", 6));
  // The first image is a PNG stream right after the directory.
  EXPECT_EQ(icon.substr(102, 8), "\x89PNG\r\n\x1a\n");
}

TEST_F(RequestHandlerTest, ReportRouteAsksTheProtocolWithTheLowerCasePath) {
  RecordingReportHandler protocol;
  handler.SetPointerReportHandler(&protocol);
  EXPECT_EQ(Reply("GET /TOLVEX0010000000000000000000010 HTTP/1.1\r\n"
                  "Connection: Keep-Alive\r\n\r\n"),
            Header("200 OK", 4, "Keep-Alive", "text/html") + "01A0");
  EXPECT_EQ(protocol.paths, (std::vector<std::string>{"/tolvex0010000000000000000000010"}));
}

TEST_F(RequestHandlerTest, WithAnAccessKeyOnlyReportsCarryingItReachTheProtocol) {
  RecordingReportHandler protocol;
  handler.SetPointerReportHandler(&protocol);
  const std::string report = "GET /tolvex0010000000000000000000010 HTTP/1.1\r\n";
  const std::string answered = Header("200 OK", 4, "close", "text/html") + "01A0";

  // Without a key the cookie does not matter.
  EXPECT_EQ(Reply(report + "\r\n"), answered);
  EXPECT_EQ(Reply(report + "Cookie: TVXKey=other\r\n\r\n"), answered);
  ASSERT_EQ(protocol.paths.size(), 2u);
  protocol.paths.clear();

  handler.SetAccessKey("s3cret");
  const std::string refused = "HTTP/1.0 403 Forbidden\r\n" + std::string(kDateLine) +
                              "Server: OrbelWebServer/0.1b\r\nAccept-Ranges: bytes\r\n"
                              "Content-Length: 51\r\nConnection: close\r\n"
                              "Content-Type: text/plain\r\n\r\n"
                              "This class needs its code: scan the QR code again.\n";
  for (const char* cookies :
       {"", "Cookie: TVXKey=wrong\r\n", "Cookie: TVXKey=s3cre\r\n", "Cookie: TVXKey=s3cretX\r\n",
        "Cookie: tvxkey=s3cret\r\n", "Cookie: xTVXKey=s3cret\r\n", "X-Cookie: TVXKey=s3cret\r\n",
        "\r\nCookie: TVXKey=s3cret\r\n"}) {
    EXPECT_EQ(Reply(report + cookies + "\r\n"), refused) << cookies;
  }
  EXPECT_TRUE(protocol.paths.empty());
  EXPECT_EQ(handler.RefusedReports(), 8u);

  EXPECT_EQ(
      Reply(report + "Host: pc\r\nCookie: theme=dark; TVXKey=wrong;TVXKey=s3cret ;lang=en\r\n\r\n"),
      answered);
  EXPECT_EQ(Reply(report + "cookie: TVXKey=s3cret\r\n\r\n"), answered);
  EXPECT_EQ(Reply(report + "Cookie: a=1\r\nCookie: TVXKey=s3cret\r\n\r\n"), answered);
  EXPECT_EQ(protocol.paths.size(), 3u);
  EXPECT_EQ(handler.RefusedReports(), 8u);

  // The page and the icon need no key: the page is where phones get it.
  EXPECT_TRUE(Get("/").starts_with("HTTP/1.0 200 OK\r\n"));
  EXPECT_TRUE(Get("/favicon.ico").starts_with("HTTP/1.0 200 OK\r\n"));
}

// The name route takes the name from its header in any letter case, never
// from the body; it needs the class's key like the reports, and its
// refusals are logged by their reason alone, even at the highest level.
TEST_F(RequestHandlerTest, TheNameRouteTakesItsHeaderAndKeepsTheNameOutOfTheLog) {
  PointerNames names;
  NameRoute route(
      names, [](int pointer, std::uint32_t peer) { return pointer == 17 && peer == 0x7F000002; });
  handler.SetNameRoute(&route);
  WriteRootFile("mna.html", "not here");
  logLevel = 4;
  const ClientAddress phone{{127, 0, 0, 2}};
  const auto status = [&](const std::string& request) {
    const std::string reply = ReplyTo(phone, request);
    return reply.substr(0, reply.find("\r\n"));
  };
  const std::string line = "GET /name/11 HTTP/1.0\r\n";
  EXPECT_EQ(status(line + "tvxname: Ana\r\n\r\n"), "HTTP/1.0 204 No Content");
  EXPECT_EQ(names.Get(17), "Ana");
  EXPECT_EQ(status(line + "\r\nTVXName: Ines\r\n"), "HTTP/1.0 400 Bad Request");
  EXPECT_EQ(status("POST /name/11 HTTP/1.0\r\nTVXName: Ines\r\n\r\n"),
            "HTTP/1.0 501 Not Implemented");
  handler.SetAccessKey("s3cret");
  EXPECT_EQ(status(line + "TVXName: Ines\r\n\r\n"), "HTTP/1.0 403 Forbidden");
  EXPECT_EQ(status(line + "Cookie: TVXKey=s3cret\r\nTVXName:\r\n\r\n"), "HTTP/1.0 204 No Content");
  EXPECT_EQ(names.Get(17), "");
  // Another phone takes the number while the name is on its way: not kept.
  int asked = 0;
  NameRoute overtaken(names, [&asked](int, std::uint32_t) { return ++asked == 1; });
  handler.SetNameRoute(&overtaken);
  EXPECT_EQ(status(line + "Cookie: TVXKey=s3cret\r\nTVXName: Ana\r\n\r\n"),
            "HTTP/1.0 409 Conflict");
  EXPECT_EQ(names.Get(17), "");
  const std::string written = TempFolder::ReadAll(log.Path());
  EXPECT_NE(written.find("Report refused from 127.0.0.2: name: no name header"), std::string::npos)
      << written;
  EXPECT_NE(written.find("/name/11"), std::string::npos);
  EXPECT_EQ(written.find("Ana"), std::string::npos) << written;
  EXPECT_EQ(written.find("Ines"), std::string::npos) << written;
}

TEST_F(RequestHandlerTest, RefusalsAreLoggedOncePerClientAndMinute) {
  handler.SetAccessKey("s3cret");
  const std::string report = "GET /tolvex0010000000000000000000010 HTTP/1.1\r\n";
  const auto refuse = [&](std::uint8_t lastByte, const std::string& cookies) {
    EXPECT_TRUE(ReplyTo({{192, 168, 1, lastByte}}, report + cookies + "\r\n")
                    .starts_with("HTTP/1.0 403 Forbidden\r\n"));
  };
  refuse(7, "");
  tick = 59999;
  refuse(7, "Cookie: TVXKey=wrong\r\n");
  refuse(8, "Cookie: TVXKey=wrong\r\n");
  tick = 60000;
  refuse(7, "Cookie: TVXKey=wrong\r\n");
  refuse(8, "");
  EXPECT_EQ(Messages(), (Lines{"Report refused from 192.168.1.7: no access key",
                               "Report refused from 192.168.1.8: wrong access key",
                               "Report refused from 192.168.1.7: wrong access key"}));
  EXPECT_EQ(handler.RefusedReports(), 5u);
}

// Past the clients the log remembers, a line a minute tells how many more
// addresses were refused.
TEST_F(RequestHandlerTest, RefusalsBeyondTheRememberedClientsAreSummedUpOnceAMinute) {
  handler.SetAccessKey("s3cret");
  const auto refuse = [&](std::uint8_t lastByte) {
    ReplyTo({{10, 0, 0, lastByte}}, "GET /tolvex0010000000000000000000010 HTTP/1.1\r\n\r\n");
  };
  for (int round = 0; round < 2; ++round) {
    for (int client = 1; client <= 67; ++client) refuse(static_cast<std::uint8_t>(client));
  }
  tick = 60000;
  refuse(1);
  const Lines messages = Messages();
  ASSERT_EQ(messages.size(), 66u);
  EXPECT_EQ(messages[63], "Report refused from 10.0.0.64: no access key");
  EXPECT_EQ(messages[64], "Report refused from 10.0.0.1: no access key");
  EXPECT_EQ(messages[65], "and 3 more addresses refused");
}

TEST_F(RequestHandlerTest, FilesAreServedByteForByteWithTheirType) {
  const std::string photo("\xff\xd8\0\0\xff\xd9", 6);
  WriteRootFile("Photo.JPG", photo);
  EXPECT_EQ(Get("/Photo.JPG"), Header("200 OK", 6, "close", "image/jpeg") + photo);
  WriteRootFile("empty.txt", "");
  EXPECT_EQ(Get("/empty.txt"), Header("200 OK", 0, "close", "text/plain"));
  std::filesystem::create_directory(JoinPath(root, "dir.old"));
  WriteRootFile(JoinPath("dir.old", "page"), "p");
  EXPECT_EQ(Get("/dir.old/page"), Header("200 OK", 1, "close", "text/html") + "p");
}

TEST_F(RequestHandlerTest, DefaultIndexFileOtherThanIndexHtmlComesFromTheRoot) {
  handler.SetDefaultIndexFile("start.html");
  WriteRootFile("start.html", "start");
  EXPECT_EQ(Get("/"), Header("200 OK", 5, "close", "text/html") + "start");
  EXPECT_EQ(Get("/index.html"), PageHeader("<html>phone</html>") + "<html>phone</html>");
}

TEST_F(RequestHandlerTest, QueryStringsAreNoIndexPage) {
  EXPECT_EQ(Get("/index.html?x=1"), NotFound(""));
}

TEST_F(RequestHandlerTest, NotFoundUsesTheRootsPageAndClosesTheConnection) {
  EXPECT_EQ(Reply("GET /missing.html HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n"), NotFound(""));
  EXPECT_EQ(keepAlive, 0);
  // The root's page is sent whole, whatever its size and bytes.
  std::string page(5000, 'x');
  page[10] = '\0';
  page.back() = 'E';
  WriteRootFile("fnf.html", page);
  EXPECT_EQ(Get("/missing"), NotFound(page));
}

TEST_F(RequestHandlerTest, OtherMethodsGetTheNotImplementedPage) {
  EXPECT_EQ(Reply("POST /anything HTTP/1.0\r\n\r\n"), NotFound(""));
  WriteRootFile("mna.html", "no");
  EXPECT_EQ(Reply("POST /anything HTTP/1.0\r\n\r\n"),
            Header("501 Not Implemented", 2, "close", "text/html") + "no");
  EXPECT_EQ(Reply("get /index.html HTTP/1.0\r\n\r\n"),
            Header("501 Not Implemented", 2, "close", "text/html") + "no");
  EXPECT_EQ(Reply("HEAD\r\n\r\n X"), Header("501 Not Implemented", 2, "close", "text/html") + "no");
}

TEST_F(RequestHandlerTest, MalformedRequestLinesLeaveTheReplyAlone) {
  std::string reply = "untouched";
  int flag = 1;
  EXPECT_EQ(handler.Handle("GARBAGE\r\n\r\n", reply, flag), Outcome::kNoBlank);
  EXPECT_EQ(handler.Handle("GET /index.html\r\n\r\n", reply, flag), Outcome::kNoSecondBlank);
  EXPECT_EQ(reply, "untouched");
  EXPECT_EQ(flag, 1);
}

// Browsers send "Connection: keep-alive"; the reply says "Keep-Alive" whatever came.
TEST_F(RequestHandlerTest, KeepAliveInAnyLetterCaseAndSticky) {
  std::string reply;
  int flag = 0;
  handler.Handle("GET / HTTP/1.1\r\nConnection: close\r\nX-Keep-Alive: 1\r\n\r\n", reply, flag);
  EXPECT_EQ(flag, 0);
  EXPECT_NE(reply.find("Connection: close\r\n"), std::string::npos);
  for (const char* header : {"Connection: keep-alive", "connection: KEEP-ALIVE"}) {
    flag = 0;
    handler.Handle("GET / HTTP/1.1\r\n" + std::string(header) + "\r\n\r\n", reply, flag);
    EXPECT_EQ(flag, 1) << header;
    EXPECT_NE(reply.find("Connection: Keep-Alive\r\n"), std::string::npos) << header;
  }
  handler.Handle("GET / HTTP/1.1\r\n\r\n", reply, flag);
  EXPECT_EQ(flag, 1);
  EXPECT_NE(reply.find("Connection: Keep-Alive\r\n"), std::string::npos);
  // A later request of the connection may still ask for the close.
  handler.Handle("GET / HTTP/1.1\r\nconnection: Close\r\n\r\n", reply, flag);
  EXPECT_EQ(flag, 0);
  EXPECT_NE(reply.find("Connection: close\r\n"), std::string::npos);
}

TEST_F(RequestHandlerTest, PathsLeavingTheRootAreNotFound) {
  TempFolder::WriteAll(folder.File("secret.txt"), "secret");
  WriteRootFile("fnf.html", "fnf");
  const std::string absolute = folder.File("secret.txt");
  for (const std::string& path : {std::string("/../secret.txt"), std::string("/./../secret.txt"),
                                  std::string("/..\\secret.txt"), std::string("\\..\\secret.txt"),
                                  std::string("/.../secret.txt"), std::string("/.. /secret.txt"),
                                  "/" + absolute, "//" + absolute, absolute}) {
    EXPECT_EQ(Get(path), NotFound("fnf")) << path;
  }
  // No decoding takes place: an encoded climb is an ordinary (missing) name.
  EXPECT_EQ(Get("/%2e%2e/secret.txt"), NotFound("fnf"));
  EXPECT_EQ(Get("/%2E%2E%5Csecret.txt"), NotFound("fnf"));
}

TEST_F(RequestHandlerTest, ReadOnlyFilesAndFoldersAreNotFound) {
  WriteRootFile("locked.html", "locked");
  const std::string locked = JoinPath(root, "locked.html");
  std::filesystem::permissions(locked,
                               std::filesystem::perms::owner_write |
                                   std::filesystem::perms::group_write |
                                   std::filesystem::perms::others_write,
                               std::filesystem::perm_options::remove);
  EXPECT_EQ(Get("/locked.html"), NotFound(""));
  std::filesystem::permissions(locked, std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add);
  EXPECT_EQ(Get("/locked.html"), Header("200 OK", 6, "close", "text/html") + "locked");

  std::filesystem::create_directory(JoinPath(root, "sub"));
  EXPECT_EQ(Get("/sub"), NotFound(""));
}

TEST_F(RequestHandlerTest, EveryReplyIsHttp10) {
  WriteRootFile("a.css", "a");
  for (const char* request :
       {"GET / HTTP/1.1\r\n\r\n", "GET /favicon.ico HTTP/2\r\n\r\n", "GET /tolvex HTTP/1.1\r\n\r\n",
        "GET /a.css HTTP/1.1\r\n\r\n", "GET /nothing HTTP/1.1\r\n\r\n", "PUT / HTTP/1.1\r\n\r\n"}) {
    EXPECT_TRUE(Reply(request).starts_with("HTTP/1.0 ")) << request;
  }
}

TEST_F(RequestHandlerTest, RoutesAreTracedFromLevelThree) {
  RecordingReportHandler protocol;
  handler.SetPointerReportHandler(&protocol);
  logLevel = 2;
  Get("/index.html");
  EXPECT_TRUE(Messages().empty());

  logLevel = 3;
  Get("/index.html");
  Get("/Favicon.ico");
  Get("/tolvex");
  Get("/x");
  EXPECT_EQ(Messages(),
            (Lines{"Entered ParseRequest",
                   "Converted request file name to lower case:",
                   "/index.html",
                   "return index.html",
                   "returning 18 bytes for /index.html",
                   "Entered ParseRequest",
                   "Converted request file name to lower case:",
                   "/favicon.ico",
                   "not empty and not index.htm and not index.html",
                   "return favicon.ico",
                   "returning " + std::to_string(IcoWithWidths(FaviconData(), {32, 16}).size()) +
                       " bytes for /favicon.ico",
                   "Entered ParseRequest",
                   "Converted request file name to lower case:",
                   "/tolvex",
                   "not empty and not index.htm and not index.html",
                   "not favicon.ico",
                   "Entered ParseRequest",
                   "Converted request file name to lower case:",
                   "/x",
                   "not empty and not index.htm and not index.html",
                   "not favicon.ico",
                   "not tolvex"}));
}

// A megabyte path must not put a megabyte into the log.
TEST_F(RequestHandlerTest, OnlyTheStartOfALongPathIsTraced) {
  logLevel = 3;
  const std::string path = "/" + std::string(255, 'a') + std::string(299744, 'b');
  Get(path);
  const Lines messages = Messages();
  ASSERT_GE(messages.size(), 3u);
  EXPECT_EQ(messages[2], path.substr(0, 256) + "... (cut, 300000 bytes)");
}

TEST_F(RequestHandlerTest, LevelFourAddsHeadersAndTheResponseText) {
  RecordingReportHandler protocol;
  handler.SetPointerReportHandler(&protocol);
  WriteRootFile("a.txt", "abc");
  logLevel = 4;
  Get("/index.html");
  Get("/tolvex");
  Get("/a.txt");
  // A header is one message; its own CR LFs are written as they are.
  const std::string text = TempFolder::ReadAll(log.Path());
  const auto written = [&](const std::string& message) {
    return text.find(": " + message + "\r\n") != std::string::npos;
  };
  EXPECT_TRUE(written("return index.html"));
  EXPECT_TRUE(written(PageHeader("<html>phone</html>")));
  EXPECT_TRUE(written("returning 18 bytes for /index.html"));
  EXPECT_TRUE(written("returning 4 bytes ResponseText 01A0"));
  EXPECT_FALSE(written(Header("200 OK", 4, "close", "text/html")));  // none for reports
  EXPECT_TRUE(written(Header("200 OK", 3, "close", "text/plain")));
}

}  // namespace
