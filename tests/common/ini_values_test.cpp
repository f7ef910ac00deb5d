#include "common/ini_values.h"

#include <gtest/gtest.h>

namespace {

TEST(IniValuesTest, OnlyFalseInAnyCaseSwitchesOff) {
  EXPECT_FALSE(IsBooleanTextOn("FALSE"));
  EXPECT_FALSE(IsBooleanTextOn("false"));
  EXPECT_FALSE(IsBooleanTextOn("False"));
  EXPECT_TRUE(IsBooleanTextOn("0"));
  EXPECT_TRUE(IsBooleanTextOn("NO"));
  EXPECT_TRUE(IsBooleanTextOn(""));
  EXPECT_TRUE(IsBooleanTextOn("FALSE "));
}

TEST(IniValuesTest, IntegersComeFromTheStartOfTheText) {
  int value = 1;
  EXPECT_FALSE(ParseLeadingInteger("abc", value));
  EXPECT_FALSE(ParseLeadingInteger("", value));
  EXPECT_FALSE(ParseLeadingInteger("-", value));
  EXPECT_EQ(value, 1);
  EXPECT_TRUE(ParseLeadingInteger("12abc", value));
  EXPECT_EQ(value, 12);
  EXPECT_TRUE(ParseLeadingInteger(" -7", value));
  EXPECT_EQ(value, -7);
  EXPECT_TRUE(ParseLeadingInteger("99999999999999999999", value));
  EXPECT_EQ(value, 2147483647);
}

}  // namespace
