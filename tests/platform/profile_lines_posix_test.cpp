// The Linux backend's INI writes. On Windows the system's own profile
// functions edit the file; wine, which runs the Windows tests here, rewrites
// it whole, so this table is the Linux backend's alone.
#include <gtest/gtest.h>

#include <string>

#include "platform/profile.h"
#include "tests/support/temp_folder.h"

namespace {

// A write touches only its own key's line: comments, blank lines, order,
// spacing and line ends of everything else stay byte for byte.
TEST(ProfileWrite, ChangesOnlyThatKeysLine) {
  TempFolder folder;
  const std::string ini = folder.File("Test.INI");
  struct Case {
    const char* section;
    const char* key;
    const char* before;
    const char* after;
  };
  const Case cases[] = {
      // The value changes in place; comment, spacing, blank line and CR LF stay.
      {"Control", "Port",
       "; settings\r\n"
       "[General]\r\n"
       "Log = TRUE\r\n"
       "\r\n"
       "[Control]\r\n"
       "Port=8080\r\n"
       "SelectedPointer=3\r\n",
       "; settings\r\n"
       "[General]\r\n"
       "Log = TRUE\r\n"
       "\r\n"
       "[Control]\r\n"
       "Port=9090\r\n"
       "SelectedPointer=3\r\n"},
      // Names match in any case; the file's spelling and its LF line ends stay.
      {"control", "PORT", "[Control]\nPort=8080\n; the end\n", "[Control]\nPort=9090\n; the end\n"},
      // A new key goes after the section's last entry, before its blank lines.
      {"Control", "Port",
       "[General]\r\nLog=TRUE\r\n\r\n[Control]\r\nSelectedPointer=3\r\n\r\n[Paths]\r\n",
       "[General]\r\nLog=TRUE\r\n\r\n[Control]\r\nSelectedPointer=3\r\nPort=9090\r\n\r\n[Paths]"
       "\r\n"},
      // A new section goes at the end.
      {"Control", "Port", "[General]\r\nLog=TRUE",
       "[General]\r\nLog=TRUE\r\n[Control]\r\nPort=9090\r\n"},
  };

  for (const Case& test : cases) {
    TempFolder::WriteAll(ini, test.before);
    ASSERT_TRUE(platform::ProfileWriteString(ini, test.section, test.key, "9090"));
    EXPECT_EQ(TempFolder::ReadAll(ini), test.after) << test.before;
  }
}

}  // namespace
