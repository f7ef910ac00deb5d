// Console reads come in pieces of UTF-16; what is typed must come out as the
// same UTF-8 however the pieces fall.
#include "platform/win32/utf16_to_utf8.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>

namespace {

// Accents, Cyrillic, Arabic, CJK and an emoji (a surrogate pair), repeated
// past the length of one console read.
std::wstring TypedLine() {
  std::wstring line;
  for (int i = 0; i < 60; ++i)
    line += L"Zo\u00eb \u0416\u0430\u043d\u043d\u0430 \u0645\u0647\u0627 \u4e2d\u6587 \U0001F600 ";
  return line;
}

std::string ExpectedUtf8() {
  std::string line;
  for (int i = 0; i < 60; ++i)
    line += "Zo\u00eb \u0416\u0430\u043d\u043d\u0430 \u0645\u0647\u0627 \u4e2d\u6587 \U0001F600 ";
  return line;
}

TEST(Utf16ToUtf8Test, PiecesOfAnySizeGiveTheSameBytes) {
  const std::wstring typed = TypedLine();
  ASSERT_GT(typed.size(), 512u);
  // A piece of one unit splits every surrogate pair; 512 is one console read.
  for (const std::size_t pieceSize :
       {std::size_t{1}, std::size_t{2}, std::size_t{7}, std::size_t{512}}) {
    platform::Utf16ToUtf8 decoder;
    std::string utf8;
    for (std::size_t at = 0; at < typed.size(); at += pieceSize) {
      decoder.Append(std::wstring_view(typed).substr(at, pieceSize), utf8);
    }
    EXPECT_EQ(utf8, ExpectedUtf8()) << "pieces of " << pieceSize;
  }
}

// A half of a pair without its other half becomes U+FFFD and the rest of
// the line stays.
TEST(Utf16ToUtf8Test, AnUnpairedSurrogateBecomesAReplacementCharacter) {
  platform::Utf16ToUtf8 decoder;
  std::string utf8;
  decoder.Append(std::wstring(L"a") + wchar_t(0xDC00) + L"b" + wchar_t(0xD83D), utf8);
  decoder.Append(L"c\n", utf8);
  EXPECT_EQ(utf8, "a\uFFFDb\uFFFDc\n");
}

}  // namespace
