#include "common/access_key.h"

#include <gtest/gtest.h>

#include <optional>

#include <cctype>

#include "common/constant_time.h"
#include "common/phone_address.h"
#include "tests/support/temp_folder.h"

namespace {

TEST(AccessKeyTest, ConstantTimeEqualsIsPlainEquality) {
  EXPECT_TRUE(ConstantTimeEquals("Ab3dE6gH", "Ab3dE6gH"));
  EXPECT_TRUE(ConstantTimeEquals("", ""));
  EXPECT_FALSE(ConstantTimeEquals("xb3dE6gH", "Ab3dE6gH"));
  EXPECT_FALSE(ConstantTimeEquals("Ab3dE6gx", "Ab3dE6gH"));
  EXPECT_FALSE(ConstantTimeEquals("Ab3dE6g", "Ab3dE6gH"));
  EXPECT_FALSE(ConstantTimeEquals("Ab3dE6gHH", "Ab3dE6gH"));
  EXPECT_FALSE(ConstantTimeEquals("", "Ab3dE6gH"));
  EXPECT_FALSE(ConstantTimeEquals("Ab3dE6gH", ""));
  EXPECT_FALSE(ConstantTimeEquals(std::string_view("Ab3d\0", 5), "Ab3d"));
}

TEST(AccessKeyTest, RandomKeysAreEightLettersAndDigitsAndDiffer) {
  const std::optional<std::string> first = NewRandomAccessKey();
  const std::optional<std::string> second = NewRandomAccessKey();
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->size(), 8u);
  for (const char c : *first) EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c))) << *first;
  EXPECT_NE(*first, *second);
}

TEST(AccessKeyTest, UsableKeysTravelUnchangedInALinkAndACookie) {
  EXPECT_TRUE(IsUsableAccessKey("Room-12.b_c~"));
  EXPECT_TRUE(IsUsableAccessKey(std::string(128, 'k')));
  EXPECT_FALSE(IsUsableAccessKey(std::string(129, 'k')));
  EXPECT_FALSE(IsUsableAccessKey(""));
  for (const char* bad : {"a b", "a;b", "a=b", "a&b", "a#b", "a%20", "\xe4"})
    EXPECT_FALSE(IsUsableAccessKey(bad)) << bad;
  EXPECT_TRUE(IsAutoAccessKey("AUTO"));
  EXPECT_FALSE(IsAutoAccessKey("auto "));
}

TEST(AccessKeyTest, PhoneAddressCarriesTheKeyInItsFragment) {
  EXPECT_EQ(PhoneAddress("192.168.1.20", 8080, ""), "http://192.168.1.20:8080/");
  EXPECT_EQ(PhoneAddress("10.0.0.5", 80, "Ab3dE6gH"), "http://10.0.0.5:80/#key=Ab3dE6gH");
}

TEST(AccessKeyTest, KeyFileRoundTrip) {
  TempFolder folder;
  const std::string file = folder.File("TVXHandvane.KEY");
  EXPECT_FALSE(ReadPublishedAccessKey(file));
  ASSERT_TRUE(PublishAccessKey(file, {"Ab3dE6gH", 4242, "area name"}));
  const std::optional<PublishedAccessKey> read = ReadPublishedAccessKey(file);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->key, "Ab3dE6gH");
  EXPECT_EQ(read->processId, 4242u);
  EXPECT_EQ(read->areaName, "area name");
  // A file of an older server names no process: its key is never believed.
  TempFolder::WriteAll(file, "Ab3dE6gH\r\n");
  ASSERT_TRUE(ReadPublishedAccessKey(file));
  EXPECT_EQ(ReadPublishedAccessKey(file)->processId, 0u);
  TempFolder::WriteAll(file, "Ab3dE6gH\n99999999999\nx\n");
  EXPECT_EQ(ReadPublishedAccessKey(file)->processId, 0u);
  TempFolder::WriteAll(file, "not a key\r\n");
  EXPECT_FALSE(ReadPublishedAccessKey(file));
}

}  // namespace
