#include "pointer/pointer_names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Refusal = PointerNames::Refusal;

std::string Repeat(std::string_view piece, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += piece;
  return text;
}

struct NameCase {
  const char* what;
  std::string given;
  std::string kept;
};

// What a name is kept as. Every refusal is tried where the phone meets it,
// on the name route, with the reason it is given.
TEST(PointerNamesTest, TrimsAndNormalisesAndCountsCharactersAfterNormalising) {
  const NameCase cases[] = {
      {"plain", "Mia", "Mia"},
      {"spaces around", " \xC2\xA0Mia Li\xE3\x80\x80 ", "Mia Li"},
      {"only spaces clear", "   ", ""},
      {"decomposed e acute", "Ame\xCC\x81lie", "Am\xC3\xA9lie"},
      {"24 decomposed letters are 24 characters", Repeat("e\xCC\x81", 24), Repeat("\xC3\xA9", 24)},
      {"emoji joined", "\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x92\xBB",
       "\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x92\xBB"},
  };
  for (const NameCase& c : cases) {
    PointerNames names;
    ASSERT_EQ(names.Set(17, "Before"), Refusal::kNone);
    EXPECT_EQ(names.Set(17, c.given), Refusal::kNone) << c.what;
    EXPECT_EQ(names.Get(17), c.kept) << c.what;
    EXPECT_LE(names.Get(17).size(), static_cast<std::size_t>(PointerNames::kMaxBytes)) << c.what;
  }
}

TEST(PointerNamesTest, KeepsOneNamePerNumberAndTellsEveryChange) {
  PointerNames names;
  std::vector<std::pair<int, std::string>> told;
  names.SetListener([&](int pointer, std::string_view name) { told.emplace_back(pointer, name); });
  EXPECT_EQ(names.Set(-1, "Mia"), Refusal::kBadNumber);
  EXPECT_EQ(names.Set(kPointerCount, "Mia"), Refusal::kBadNumber);
  const std::uint32_t start = names.Version();
  ASSERT_EQ(names.Set(17, "Mia"), Refusal::kNone);
  ASSERT_EQ(names.Set(79, "Ole"), Refusal::kNone);
  ASSERT_EQ(names.Set(17, " Mia "), Refusal::kNone);  // the same name: no change
  EXPECT_EQ(names.Version(), start + 2);
  EXPECT_EQ(names.Get(0), "");
  names.Clear(17);
  EXPECT_EQ(names.Get(17), "");
  EXPECT_EQ(names.Get(79), "Ole");
  names.ClearAll();
  EXPECT_EQ(names.Get(79), "");
  EXPECT_EQ(names.Version(), start + 4);
  const std::vector<std::pair<int, std::string>> expected = {
      {17, "Mia"}, {79, "Ole"}, {17, ""}, {79, ""}};
  EXPECT_EQ(told, expected);
}

}  // namespace
