#include "platform/profile.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <system_error>

#include "tests/support/temp_folder.h"

namespace {

class ProfileTest : public testing::Test {
 protected:
  TempFolder folder;
  std::string ini = folder.File("Test.INI");

  std::string Read(const char* section, const char* key, const char* fallback = "<none>",
                   std::size_t buffer = 460) {
    return platform::ProfileReadString(ini, section, key, fallback, buffer);
  }
};

TEST_F(ProfileTest, MissingFileSectionOrKeyGivesTheFallback) {
  EXPECT_EQ(Read("General", "Log", "FALSE"), "FALSE");
  TempFolder::WriteAll(ini, "[General]\r\nLog=on\r\n");
  EXPECT_EQ(Read("Other", "Log"), "<none>");
  EXPECT_EQ(Read("General", "Missing"), "<none>");
  EXPECT_EQ(platform::ProfileReadInt(ini, "General", "Missing", 42), 42);
}

TEST_F(ProfileTest, NamesIgnoreCaseAndValuesAreTrimmed) {
  TempFolder::WriteAll(ini, "[General]\r\n  LogLevel =  3  \r\nEmpty=\r\nQuoted=\" a b \"\r\n");
  EXPECT_EQ(Read("general", "LOGLEVEL"), "3");
  EXPECT_EQ(Read("General", "Empty"), "");
  EXPECT_EQ(Read("General", "Quoted"), " a b ");
  EXPECT_EQ(platform::ProfileReadInt(ini, "GENERAL", "loglevel", 0), 3);
}

TEST_F(ProfileTest, IntegerReadTakesTheLeadingNumber) {
  TempFolder::WriteAll(ini, "[Control]\r\nA=12abc\r\nB=abc\r\n");
  EXPECT_EQ(platform::ProfileReadInt(ini, "Control", "A", 7), 12);
  EXPECT_EQ(platform::ProfileReadInt(ini, "Control", "B", 7), 0);
}

TEST_F(ProfileTest, ValueIsCutToTheBuffer) {
  TempFolder::WriteAll(ini, "[Paths]\r\nRoot=abcdefghij\r\n");
  EXPECT_EQ(Read("Paths", "Root", "", 5), "abcd");
}

TEST_F(ProfileTest, WriteCreatesFileAndKeepsOtherEntries) {
  ASSERT_TRUE(platform::ProfileWriteString(ini, "Control", "SelectedPointer", "7"));
  EXPECT_EQ(Read("Control", "SelectedPointer"), "7");

  ASSERT_TRUE(platform::ProfileWriteString(ini, "General", "Log", "TRUE"));
  ASSERT_TRUE(platform::ProfileWriteString(ini, "control", "selectedpointer", "9"));
  EXPECT_EQ(Read("Control", "SelectedPointer"), "9");
  EXPECT_EQ(Read("General", "Log"), "TRUE");
}

// A link put where the file goes is not followed: reading gives nothing of
// its target's, and writing neither changes the target nor the link.
TEST_F(ProfileTest, ALinkWhereTheFileGoesIsRefused) {
  const std::string target = folder.File("Target.INI");
  TempFolder::WriteAll(target, "[Memory]\r\nSharedMemoryName=other\r\n");
  std::error_code error;
  std::filesystem::create_symlink(target, ini, error);
  if (error) GTEST_SKIP() << "no symbolic links here: " << error.message();

  EXPECT_EQ(Read("Memory", "SharedMemoryName"), "<none>");
  std::string value;
  EXPECT_FALSE(platform::ProfileReadRequired(ini, "Memory", "SharedMemoryName", 260, value));
  EXPECT_FALSE(platform::ProfileWriteString(ini, "Memory", "CreatorProcessID", "00001234"));
  EXPECT_EQ(TempFolder::ReadAll(target), "[Memory]\r\nSharedMemoryName=other\r\n");
  EXPECT_TRUE(std::filesystem::is_symlink(ini));
}

// A settings file that is missing falls back; one that is there must be
// readable, through its links, or the caller hears why not.
TEST_F(ProfileTest, SettingsFilesAreReadableOrMissing) {
  EXPECT_TRUE(platform::ProfileCheckReadable(ini));
  TempFolder::WriteAll(ini, "[Control]\r\nPort=9000\r\n");
  EXPECT_TRUE(platform::ProfileCheckReadable(ini));
  std::filesystem::create_directory(folder.File("Folder.INI"));
  EXPECT_FALSE(platform::ProfileCheckReadable(folder.File("Folder.INI")));
#if !defined(_WIN32)
  std::filesystem::create_symlink("Test.INI", folder.File("Link.INI"));
  EXPECT_TRUE(platform::ProfileCheckReadable(folder.File("Link.INI")));
  std::filesystem::create_symlink("Gone.INI", folder.File("Dangling.INI"));
  EXPECT_FALSE(platform::ProfileCheckReadable(folder.File("Dangling.INI")));
#endif
}

TEST_F(ProfileTest, StructRoundTripsWithChecksum) {
  std::array<std::uint8_t, 44> written{};
  for (std::size_t i = 0; i < written.size(); ++i) written[i] = static_cast<std::uint8_t>(i * 7);
  ASSERT_TRUE(platform::ProfileWriteStruct(ini, "General", "WindowPos", written.data(), 44));
  EXPECT_EQ(Read("General", "WindowPos").size(), 90u);

  std::array<std::uint8_t, 44> read{};
  ASSERT_TRUE(platform::ProfileReadStruct(ini, "General", "WindowPos", read.data(), 44));
  EXPECT_EQ(read, written);
}

TEST_F(ProfileTest, StructTextIsHexBytesThenByteSum) {
  // Bytes 01 FF: sum 0x100, checksum 00.
  TempFolder::WriteAll(ini, "[S]\r\nGood=01FF00\r\nBadSum=01FF01\r\nShort=01FF\r\n");
  std::array<std::uint8_t, 2> bytes{0xAA, 0xAA};
  ASSERT_TRUE(platform::ProfileReadStruct(ini, "S", "Good", bytes.data(), 2));
  EXPECT_EQ(bytes[0], 0x01);
  EXPECT_EQ(bytes[1], 0xFF);

  EXPECT_FALSE(platform::ProfileReadStruct(ini, "S", "BadSum", bytes.data(), 2));
  EXPECT_FALSE(platform::ProfileReadStruct(ini, "S", "Short", bytes.data(), 2));
  EXPECT_FALSE(platform::ProfileReadStruct(ini, "S", "Missing", bytes.data(), 2));

  ASSERT_TRUE(platform::ProfileWriteStruct(ini, "S", "Written", bytes.data(), 2));
  EXPECT_EQ(Read("S", "Written"), "01FF00");
}

}  // namespace
