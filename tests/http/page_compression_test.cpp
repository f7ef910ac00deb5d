// The page and the icon go compressed to a browser that admits gzip, and a
// browser that holds the current version is told so without the body.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "common/diagnostic_log.h"
#include "http/browser_icon.h"
#include "http/content_negotiation.h"
#include "http/favicon.h"
#include "http/index_page.h"
#include "http/request_handler.h"
#include "tests/support/fixed_clock.h"
#include "tests/support/gunzip.h"
#include "tests/support/temp_folder.h"

namespace {

std::string RequestWith(std::string_view path, std::string_view headerLines) {
  return "GET " + std::string(path) + " HTTP/1.1\r\nHost: pc\r\n" + std::string(headerLines) +
         "\r\n";
}

// A reply cut into its header (with the blank line) and its body.
struct Parts {
  std::string header;
  std::string body;
};
Parts Split(const std::string& reply) {
  const std::size_t end = reply.find("\r\n\r\n");
  if (end == std::string::npos) return {reply, ""};
  return {reply.substr(0, end + 4), reply.substr(end + 4)};
}

// Header names are case-blind and only the headers count; codings and tags
// are whole tokens, and a quality of zero refuses.
TEST(ContentNegotiationTest, ReadsAcceptEncodingAndIfNoneMatch) {
  const std::string_view tag = "W/\"0123456789abcdef\"";
  const auto gzip = [](std::string_view request, std::string_view) { return AcceptsGzip(request); };
  const struct {
    bool (*check)(std::string_view request, std::string_view tag);
    std::string_view lines;
    bool yes;
  } cases[] = {
      {gzip, "", false},
      {gzip, "accept-encoding: GZip\r\n", true},
      {gzip, "Accept-Encoding: deflate, gzip;q=0.5, br\r\n", true},
      {gzip, "Accept-Encoding: x-gzip\r\n", true},
      {gzip, "Accept-Encoding: deflate, br\r\n", false},
      {gzip, "Accept-Encoding: gzipped\r\n", false},
      {gzip, "Accept-Encoding: gzip ; Q=0.000\r\n", false},
      {gzip, "Accept-Encoding: gzip;q=0.001\r\n", true},
      {gzip, "Accept-Encoding: *\r\n", true},
      {gzip, "Accept-Encoding: *;q=0\r\n", false},
      // Named and refused: the star does not admit it.
      {gzip, "Accept-Encoding: gzip;q=0, *\r\n", false},
      {gzip, "Accept-Encoding: br\r\nAccept-Encoding: gzip\r\n", true},
      {gzip, "X-Accept-Encoding: gzip\r\n", false},
      {gzip, "\r\nAccept-Encoding: gzip\r\n", false},  // in the body, after the headers
      {MatchesEntityTag, "", false},
      {MatchesEntityTag, "if-none-match: \"0123456789abcdef\"\r\n", true},  // compared weakly
      {MatchesEntityTag, "If-None-Match: \"1\", W/\"0123456789abcdef\"\r\n", true},
      {MatchesEntityTag, "If-None-Match: *\r\n", true},
      {MatchesEntityTag, "If-None-Match: W/\"0123456789abcdee\"\r\n", false},
      {MatchesEntityTag, "If-None-Match: W/\"0123456789ABCDEF\"\r\n", false},  // case counts
      {MatchesEntityTag, "If-Match: W/\"0123456789abcdef\"\r\n", false},
  };
  for (const auto& c : cases) EXPECT_EQ(c.check(RequestWith("/", c.lines), tag), c.yes) << c.lines;
}

// Each image of an ICO file by its width (256 for a width byte of 0).
std::map<int, std::string_view> IcoImages(std::string_view ico) {
  const auto little = [ico](std::size_t at, int count) {
    std::uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) {
      value = value << 8 | static_cast<unsigned char>(ico[at + static_cast<std::size_t>(i)]);
    }
    return value;
  };
  std::map<int, std::string_view> images;
  for (std::size_t i = 0; i < little(4, 2); ++i) {
    const std::size_t entry = 6 + 16 * i;
    const int width = ico[entry] == 0 ? 256 : static_cast<unsigned char>(ico[entry]);
    images[width] = ico.substr(little(entry + 12, 4), little(entry + 8, 4));
  }
  return images;
}

TEST(BrowserIconTest, KeepsTheListedImagesByteForByte) {
  const std::string_view whole = FaviconData();
  const std::map<int, std::string_view> original = IcoImages(whole);
  const std::string cut = IcoWithWidths(whole, {256, 16});
  const std::map<int, std::string_view> kept = IcoImages(cut);
  ASSERT_EQ(kept.size(), 2u);
  EXPECT_EQ(kept.at(256), original.at(256));
  EXPECT_EQ(kept.at(16), original.at(16));
  EXPECT_EQ(cut.size(), 6 + 2 * 16 + original.at(256).size() + original.at(16).size());
  // A file cut short is no file to take apart: it goes as it is.
  const std::string_view shortFile = whole.substr(0, 200);
  EXPECT_EQ(IcoWithWidths(shortFile, {16}), shortFile);
}

class PageCompressionTest : public testing::Test {
 protected:
  PageCompressionTest() {
    page = "<html>" + std::string(4000, 'x') + "<p>phone</p></html>";
    indexPage.Publish(page);
  }

  std::string Reply(std::string_view path, std::string_view headerLines) {
    std::string reply;
    int keepAlive = 0;
    handler.Handle(RequestWith(path, headerLines), reply, keepAlive);
    return reply;
  }

  static std::string LineOf(const std::string& header, const std::string& name) {
    const std::size_t at = header.find("\r\n" + name + ": ");
    if (at == std::string::npos) return "";
    const std::size_t from = at + name.size() + 4;
    return header.substr(from, header.find("\r\n", from) - from);
  }
  static std::string TagOf(const std::string& header) { return LineOf(header, "ETag"); }
  static std::string DateOf(const std::string& header) { return LineOf(header, "Last-Modified"); }

  TempFolder folder;
  DiagnosticLog log{folder.File("Test.LOG")};
  int logLevel = 0;
  IndexPage indexPage;
  RequestHandler handler{indexPage, log, logLevel, FixedUtc};
  std::string page;
};

TEST_F(PageCompressionTest, TheBodyIsCompressedOnlyWhenGzipIsAdmitted) {
  const Parts gzip = Split(Reply("/index.html", "Accept-Encoding: gzip, deflate\r\n"));
  EXPECT_NE(gzip.header.find("\r\nContent-Encoding: gzip\r\n"), std::string::npos);
  EXPECT_NE(gzip.header.find("\r\nVary: Accept-Encoding\r\n"), std::string::npos);
  EXPECT_NE(gzip.header.find("\r\nContent-Length: " + std::to_string(gzip.body.size()) + "\r\n"),
            std::string::npos);
  EXPECT_LT(gzip.body.size(), page.size() / 10);
  EXPECT_EQ(Gunzipped(gzip.body), page);

  for (const std::string_view lines : {"", "Accept-Encoding: gzip;q=0\r\n"}) {
    const Parts plain = Split(Reply("/index.html", lines));
    EXPECT_EQ(plain.header.find("Content-Encoding"), std::string::npos) << lines;
    EXPECT_NE(plain.header.find("\r\nVary: Accept-Encoding\r\n"), std::string::npos);
    EXPECT_EQ(plain.body, page) << lines;
  }

  const Parts icon = Split(Reply("/favicon.ico", "Accept-Encoding: gzip\r\n"));
  EXPECT_NE(icon.header.find("\r\nContent-Encoding: gzip\r\n"), std::string::npos);
  EXPECT_EQ(Gunzipped(icon.body), IcoWithWidths(FaviconData(), {32, 16}));
}

TEST_F(PageCompressionTest, TheCurrentTagGetsA304WithoutBody) {
  const std::string tag = TagOf(Split(Reply("/index.html", "Accept-Encoding: gzip\r\n")).header);
  ASSERT_FALSE(tag.empty());

  const std::string notModified =
      Reply("/index.html", "Accept-Encoding: gzip\r\nIf-None-Match: " + tag + "\r\n");
  EXPECT_TRUE(notModified.starts_with("HTTP/1.0 304 Not Modified\r\n")) << notModified;
  EXPECT_TRUE(notModified.ends_with("\r\n\r\n")) << notModified;  // and nothing after
  EXPECT_EQ(notModified.find("Content-Length"), std::string::npos);
  EXPECT_NE(notModified.find("\r\nETag: " + tag + "\r\n"), std::string::npos);

  // A browser that revalidates by date alone, as it does with an HTTP/1.0
  // server; the tag decides when the request has both.
  const std::string date = DateOf(Split(Reply("/index.html", "")).header);
  ASSERT_FALSE(date.empty());
  EXPECT_TRUE(
      Reply("/index.html", "If-Modified-Since: " + date + "\r\n").starts_with("HTTP/1.0 304"));
  EXPECT_TRUE(Reply("/index.html", "If-Modified-Since: " + date + "\r\nIf-None-Match: W/\"1\"\r\n")
                  .starts_with("HTTP/1.0 200"));

  // Another page loaded: the old tag no longer matches, and a new one is sent.
  indexPage.Publish(page + "<!-- edited -->");
  const Parts reloaded = Split(Reply("/index.html", "If-None-Match: " + tag + "\r\n"));
  EXPECT_TRUE(reloaded.header.starts_with("HTTP/1.0 200 OK\r\n"));
  EXPECT_EQ(reloaded.body, page + "<!-- edited -->");
  EXPECT_NE(TagOf(reloaded.header), tag);
  EXPECT_NE(DateOf(reloaded.header), date);
  EXPECT_TRUE(
      Reply("/index.html", "If-Modified-Since: " + date + "\r\n").starts_with("HTTP/1.0 200"));
}

}  // namespace
