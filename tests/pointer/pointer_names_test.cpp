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
  Refusal refusal;
  std::string kept;  // when not refused
};

TEST(PointerNamesTest, ChecksTrimsAndNormalises) {
  // One character of several scripts, each taking a different number of bytes.
  const char* const scripts[] = {"\xC3\xA9", "\xD0\x96", "\xD9\x85", "\xE6\xBC\xA2",
                                 "\xF0\x9F\x98\x80"};
  std::vector<NameCase> cases = {
      {"plain", "Mia", Refusal::kNone, "Mia"},
      {"spaces around", " \xC2\xA0Mia Li\xE3\x80\x80 ", Refusal::kNone, "Mia Li"},
      {"only spaces clear", "   ", Refusal::kNone, ""},
      {"decomposed e acute", "Ame\xCC\x81lie", Refusal::kNone, "Am\xC3\xA9lie"},
      {"24 decomposed letters are 24 characters", Repeat("e\xCC\x81", 24), Refusal::kNone,
       Repeat("\xC3\xA9", 24)},
      {"25 decomposed letters", Repeat("e\xCC\x81", 25), Refusal::kTooLong, ""},
      {"emoji joined", "\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x92\xBB", Refusal::kNone,
       "\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x92\xBB"},
      {"C0", "Mi\001a", Refusal::kControl, ""},
      {"tab", "Mi\ta", Refusal::kControl, ""},
      {"DEL", "Mia\x7F", Refusal::kControl, ""},
      {"C1", "Mia\xC2\x85", Refusal::kControl, ""},
      {"line separator", "Mia\xE2\x80\xA8", Refusal::kControl, ""},
      {"right-to-left override", "Mia\u202Exe.exe", Refusal::kBidi, ""},
      {"isolate", "\xE2\x81\xA6Mia", Refusal::kBidi, ""},
      {"right-to-left mark", "Mia\xE2\x80\x8F", Refusal::kBidi, ""},
      {"stray byte", "Mia\xFF", Refusal::kBadUtf8, ""},
      {"overlong slash", "\xC0\xAF", Refusal::kBadUtf8, ""},
      {"surrogate", "\xED\xA0\x80", Refusal::kBadUtf8, ""},
      {"past U+10FFFF", "\xF4\x90\x80\x80", Refusal::kBadUtf8, ""},
      {"cut short", "Mia\xE6\xBC", Refusal::kBadUtf8, ""},
      {"a NUL inside", std::string("Mi\0a", 4), Refusal::kControl, ""},
  };
  for (const char* piece : scripts) {
    cases.push_back({"24 of a script", Repeat(piece, 24), Refusal::kNone, Repeat(piece, 24)});
    cases.push_back({"25 of a script", Repeat(piece, 25), Refusal::kTooLong, ""});
  }
  for (const NameCase& c : cases) {
    PointerNames names;
    ASSERT_EQ(names.Set(17, "Before"), Refusal::kNone);
    EXPECT_EQ(names.Set(17, c.given), c.refusal) << c.what;
    EXPECT_EQ(names.Get(17), c.refusal == Refusal::kNone ? c.kept : "Before") << c.what;
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

TEST(PointerNamesTest, RefusalsHaveShortReasons) {
  EXPECT_EQ(RefusalReason(Refusal::kTooLong), "too long");
  EXPECT_EQ(RefusalReason(Refusal::kControl), "control character");
  EXPECT_EQ(RefusalReason(Refusal::kBidi), "bidi override");
  EXPECT_EQ(RefusalReason(Refusal::kBadUtf8), "invalid UTF-8");
  EXPECT_EQ(RefusalReason(Refusal::kNotHolder), "not your number");
}

}  // namespace
