// The page's texts: a catalogue in sections, one per language, of which a
// phone gets the one it reads, or the class's one language.
#include "http/page_texts.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "common/diagnostic_log.h"
#include "http/index_page.h"
#include "http/request_handler.h"
#include "tests/support/fixed_clock.h"
#include "tests/support/gunzip.h"
#include "tests/support/temp_folder.h"

namespace {

constexpr std::string_view kCatalogue =
    "\xEF\xBB\xBF; comment before any section\r\n"
    "stray=outside\r\n"
    "[en]\r\n"
    "hint=Touch and move\r\n"
    "\r\n"
    "# another comment\r\n"
    "[de]\n"
    "  hint = Tippen und ziehen  \n"
    "[not a tag]\n"
    "hint=lost\n"
    "[ar]\n"
    "dir=rtl\n"
    "[DE]\n"
    "turn=Drehen\n";

TEST(PageTextsTest, ParsesOneBodyPerLanguageWithoutCommentsOrBlanks) {
  const PageTextCatalogue catalogue = ParsePageTexts(kCatalogue, "");
  ASSERT_EQ(catalogue.tags, (std::vector<std::string>{"en", "de", "ar"}));
  EXPECT_EQ(catalogue.skippedSections, 1u);
  EXPECT_EQ(catalogue.bodies[0].plain, "lang=en\nhint=Touch and move\n");
  // A language named twice goes on; the lines are trimmed.
  EXPECT_EQ(catalogue.bodies[1].plain, "lang=de\nhint = Tippen und ziehen\nturn=Drehen\n");
  EXPECT_EQ(catalogue.bodies[2].plain, "lang=ar\ndir=rtl\n");
  EXPECT_FALSE(catalogue.fixed);
  EXPECT_EQ(ParsePageTexts(kCatalogue, "ar").fixed, 2u);
  // A fixed language must be in the catalogue as written, not a shorter form.
  EXPECT_FALSE(ParsePageTexts(kCatalogue, "de-AT").fixed);
  EXPECT_EQ(ParsePageTexts("", "de").For("de"), nullptr);
}

class PageTextsRouteTest : public testing::Test {
 protected:
  PageTextsRouteTest() { handler.SetPageTexts(&texts); }

  std::string Get(std::string_view path, std::string_view headerLines = "") {
    std::string reply;
    int keepAlive = 0;
    handler.Handle("GET " + std::string(path) + " HTTP/1.1\r\n" + std::string(headerLines) + "\r\n",
                   reply, keepAlive);
    return reply;
  }
  static std::string Body(const std::string& reply) {
    return reply.substr(reply.find("\r\n\r\n") + 4);
  }

  TempFolder folder;
  DiagnosticLog log{folder.File("Test.LOG")};
  int logLevel = 0;
  IndexPage indexPage;
  PageTexts texts;
  RequestHandler handler{indexPage, log, logLevel, FixedUtc};
};

TEST_F(PageTextsRouteTest, APhoneGetsItsLanguageOrTheClassOne) {
  EXPECT_TRUE(Get("/texts?want=de").starts_with("HTTP/1.0 404")) << "nothing loaded yet";
  texts.Publish(kCatalogue, "");
  const struct {
    std::string_view path;
    std::string_view lang;
  } cases[] = {
      {"/texts?want=de-AT,ar", "de"}, {"/TEXTS?want=AR", "ar"}, {"/texts?want=it,ar&v=2", "ar"},
      {"/texts?want=it", "en"},       {"/texts", "en"},         {"/texts?lang=de", "en"},
  };
  for (const auto& c : cases) {
    const std::string reply = Get(c.path);
    EXPECT_NE(reply.find("\r\nContent-Type: text/plain; charset=utf-8\r\n"), std::string::npos);
    EXPECT_TRUE(Body(reply).starts_with("lang=" + std::string(c.lang) + "\n")) << c.path;
  }
  EXPECT_TRUE(Get("/textsde").starts_with("HTTP/1.0 404")) << "not the texts";

  texts.Publish(kCatalogue, "ar");
  EXPECT_TRUE(Body(Get("/texts?want=de")).starts_with("lang=ar\n"));
}

TEST_F(PageTextsRouteTest, TextsGoCompressedAndARevisitGetsA304) {
  std::string catalogue(kCatalogue);
  for (int i = 0; i < 50; ++i) catalogue += "line" + std::to_string(i) + "=a text to compress\n";
  texts.Publish(catalogue, "");
  const std::string reply = Get("/texts?want=de", "Accept-Encoding: gzip\r\n");
  ASSERT_NE(reply.find("\r\nContent-Encoding: gzip\r\n"), std::string::npos);
  EXPECT_TRUE(Gunzipped(Body(reply)).starts_with("lang=de\n"));
  const std::size_t at = reply.find("\r\nETag: ") + 8;
  const std::string tag = reply.substr(at, reply.find("\r\n", at) - at);
  EXPECT_TRUE(Get("/texts?want=de", "If-None-Match: " + tag + "\r\n").starts_with("HTTP/1.0 304"));
  EXPECT_TRUE(Get("/texts?want=ar", "If-None-Match: " + tag + "\r\n").starts_with("HTTP/1.0 200"));
}

TEST_F(PageTextsRouteTest, ReReadLoadsTheFileAndNamesAMissingClassLanguage) {
  const std::string file = folder.File("TVXHandvane.LNG");
  EXPECT_EQ(ReReadPageTexts(texts, file, "", log), 0);
  TempFolder::WriteAll(file, std::string(kCatalogue));
  EXPECT_EQ(ReReadPageTexts(texts, file, "fr", log), 1);
  EXPECT_EQ(texts.Snapshot()->tags.size(), 3u);
  EXPECT_NE(
      TempFolder::ReadAll(folder.File("Test.LOG")).find("PageLanguage=fr is not in the page texts"),
      std::string::npos);
  // A failed load keeps what was served.
  TempFolder::WriteAll(file, std::string(PageTexts::kCapacity + 1, 'x'));
  EXPECT_EQ(ReReadPageTexts(texts, file, "", log), 0);
  EXPECT_EQ(texts.Snapshot()->tags.size(), 3u);
}

}  // namespace
