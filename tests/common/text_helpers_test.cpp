#include <gtest/gtest.h>

#include "common/ascii.h"
#include "common/number_text.h"

namespace {

TEST(TextHelpersTest, LowersOnlyAsciiLettersWhateverTheLocale) {
  // UTF-8 "Ä" and a byte above 0x7F from a code page stay as they are.
  EXPECT_EQ(AsciiLowered("vEthernet (WSL) \xC3\x84Z-\xC9"), "vethernet (wsl) \xC3\x84z-\xC9");
  EXPECT_EQ(AsciiLowered(""), "");
}

TEST(TextHelpersTest, TwoDigitsPadsOnlySingleDigits) {
  EXPECT_EQ(TwoDigits(0), "00");
  EXPECT_EQ(TwoDigits(7), "07");
  EXPECT_EQ(TwoDigits(79), "79");
  EXPECT_EQ(TwoDigits(600), "600");
  EXPECT_EQ(TwoDigits(-3), "-3");
}

}  // namespace
