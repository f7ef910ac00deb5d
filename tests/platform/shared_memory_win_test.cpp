// The area's objects on Windows open to this user alone.
#include <windows.h>
// The security headers after windows.h, which they build on.
#include <aclapi.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/process.h"
#include "platform/shared_memory.h"

namespace {

TEST(SharedMemoryWinTest, OnlyThisUserMayOpenTheArea) {
  const std::string name = "tvx-access-test-" + std::to_string(platform::ProcessId());
  platform::SharedMemory memory;
  ASSERT_EQ(memory.ClaimName(name).claim, platform::SharedMemory::Claim::kClaimed);
  ASSERT_TRUE(memory.Create(4096));

  HANDLE mapping = OpenFileMappingA(READ_CONTROL, FALSE, name.c_str());
  ASSERT_NE(mapping, nullptr);
  PACL access = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(GetSecurityInfo(mapping, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                            &access, nullptr, &descriptor),
            static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_NE(access, nullptr);
  EXPECT_EQ(access->AceCount, 1);
  ACCESS_ALLOWED_ACE* entry = nullptr;
  ASSERT_TRUE(GetAce(access, 0, reinterpret_cast<void**>(&entry)));
  EXPECT_EQ(entry->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);

  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  char user[256];
  DWORD size = sizeof user;
  ASSERT_TRUE(GetTokenInformation(token, TokenUser, user, size, &size));
  EXPECT_TRUE(EqualSid(reinterpret_cast<PSID>(&entry->SidStart),
                       reinterpret_cast<TOKEN_USER*>(user)->User.Sid));
  CloseHandle(token);
  LocalFree(descriptor);
  CloseHandle(mapping);
}

}  // namespace
