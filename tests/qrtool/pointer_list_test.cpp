#include "qrtool/pointer_list.h"

#include <gtest/gtest.h>

namespace {

TEST(PointerListTest, NumbersAndRangesGiveEachPointerOnceInOrder) {
  EXPECT_TRUE(ParsePointerList("").pointers.empty());
  EXPECT_TRUE(ParsePointerList("  ").valid);
  EXPECT_EQ(ParsePointerList(" 9, 3,5 - 7,5,07").pointers, (std::vector<int>{3, 5, 6, 7, 9}));
  const PointerList all = ParsePointerList("0-79");
  ASSERT_EQ(all.pointers.size(), 80u);
  EXPECT_EQ(all.pointers.back(), 79);
}

TEST(PointerListTest, AnyBadItemRefusesTheWholeListAndIsNamed) {
  const std::pair<const char*, const char*> cases[] = {
      {"0-9,80", "80"},   {"3-1", "3-1"}, {"0-80", "0-80"},
      {"1,,2", ""},       {"5-", "5-"},   {"-5", "-5"},
      {"1-2-3", "1-2-3"}, {"x", "x"},     {"99999999999", "99999999999"},
      {"2;3", "2;3"}};
  for (const auto& [text, badItem] : cases) {
    const PointerList list = ParsePointerList(text);
    EXPECT_FALSE(list.valid) << text;
    EXPECT_TRUE(list.pointers.empty()) << text;
    EXPECT_EQ(list.badItem, badItem) << text;
  }
}

}  // namespace
