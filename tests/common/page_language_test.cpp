#include "common/page_language.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(PageLanguageTest, TellsLanguageTags) {
  for (const char* good : {"de", "pt-BR", "zh-Hant-TW", "es-419", "AR"}) {
    EXPECT_TRUE(IsLanguageTag(good)) << good;
  }
  for (const char* bad : {"", "d", "de-", "-de", "de--at", "4x", "de_AT", "de at", "ab-123456789",
                          "de\"><", "abcdefghijklmnopqrstuvwxyz-abcdefgh-ij"}) {
    EXPECT_FALSE(IsLanguageTag(bad)) << bad;
  }
}

TEST(PageLanguageTest, LooksUpTheFirstTagThatNamesALanguage) {
  const std::vector<std::string> available = {"en", "de", "pt", "pt-BR", "fr"};
  const struct {
    const char* wanted;
    int index;  // -1: none
  } cases[] = {
      {"de", 1},
      {"DE-at", 1},
      {"pt-BR,pt", 3},
      {"pt-PT", 2},
      // A phone's first language counts for its shorter form before its second.
      {"de-CH, fr", 1},
      {"it, fr;q=0.8", 4},
      {" , ,fr", 4},
      {"it,es", -1},
      {"", -1},
      {"d", -1},
      // Only the first sixteen tags are read.
      {"a1,a2,a3,a4,a5,a6,a7,a8,a9,b1,b2,b3,b4,b5,b6,b7,fr", -1},
  };
  for (const auto& c : cases) {
    const std::optional<std::size_t> found = LookUpLanguage(available, c.wanted);
    EXPECT_EQ(found ? static_cast<int>(*found) : -1, c.index) << c.wanted;
  }
}
