// The Linux backend's INI writes. On Windows the system's own profile
// functions edit the file; wine, which runs the Windows tests here, rewrites
// it whole, so this table is the Linux backend's alone.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/profile.h"
#include "tests/support/temp_folder.h"

namespace {

std::mutex syncLock;
std::string watchedFile;  // while set, each fsync notes the synced file and what this one held
std::vector<std::pair<std::string, std::string>> syncs;

}  // namespace

// The platform's writes call this fsync, which notes the sync and then has the system do it.
extern "C" int fsync(int fd) {
  {
    const std::lock_guard guard(syncLock);
    std::error_code error;
    if (!watchedFile.empty()) {
      syncs.emplace_back(
          std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd), error).string(),
          TempFolder::ReadAll(watchedFile));
    }
  }
  return static_cast<int>(syscall(SYS_fsync, fd));
}

namespace {

// The new file is on disk before it replaces the old one: a crash right
// after the rename cannot leave an empty or part written INI.
TEST(ProfileWrite, TheNewFileIsSyncedBeforeItReplacesTheOldOne) {
  TempFolder folder;
  const std::string ini = folder.File("Test.INI");
  TempFolder::WriteAll(ini, "[Control]\r\nPort=8080\r\n");
  std::unique_lock guard(syncLock);
  watchedFile = ini;
  guard.unlock();
  ASSERT_TRUE(platform::ProfileWriteString(ini, "Control", "Port", "9090"));
  guard.lock();
  watchedFile.clear();
  ASSERT_FALSE(syncs.empty());
  EXPECT_EQ(syncs.front().first.rfind(ini + ".~", 0), 0u) << syncs.front().first;
  EXPECT_EQ(syncs.front().second, "[Control]\r\nPort=8080\r\n");
}

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

// 0 when a write larger than the limit fails as too large.
int WriteUnderAFileSizeLimit(const std::string& ini) {
  std::signal(SIGXFSZ, SIG_IGN);
  const rlimit limit{32, 32};
  setrlimit(RLIMIT_FSIZE, &limit);
  const std::string value(100, '7');
  const platform::Result written =
      platform::ProfileWriteString(ini, "Control", "SelectedPointer", value.c_str());
  return !written && written.Code() == EFBIG ? 0 : 1;
}

// A write that cannot be completed (a file size limit here, a full disk
// alike) fails with the system's reason and leaves the old file whole and
// nothing beside it.
TEST(ProfileWrite, AWriteThatCannotCompleteKeepsTheOldFile) {
  TempFolder folder;
  const std::string ini = folder.File("Test.INI");
  const std::string before = "[Control]\r\nPort=8080\r\nSelectedPointer=3\r\n";
  TempFolder::WriteAll(ini, before);
  EXPECT_EXIT(std::_Exit(WriteUnderAFileSizeLimit(ini)), testing::ExitedWithCode(0), "");
  EXPECT_EQ(TempFolder::ReadAll(ini), before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()), {}), 1);
}

// A FIFO where the file goes neither holds the reader or the writer nor is
// replaced: the reads find nothing and the write is refused.
TEST(ProfileWrite, AFifoWhereTheFileGoesIsRefusedAtOnce) {
  TempFolder folder;
  const std::string fifo = folder.File("TVXHDVMemory.INI");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(platform::ProfileReadString(fifo, "Memory", "CreatorProcessID", "", 360), "");
  std::string value;
  EXPECT_EQ(platform::ProfileReadRequired(fifo, "Memory", "SharedMemoryName", 260, value).Code(),
            EINVAL);
  EXPECT_EQ(platform::ProfileWriteString(fifo, "Memory", "SharedMemoryName", "x").Code(), EINVAL);
  struct stat info {};
  ASSERT_EQ(lstat(fifo.c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

// Replacing the file must not get round its mode: a read-only INI stays as
// it is, as it would were it written in place (also for root).
TEST(ProfileWrite, AReadOnlyFileIsLeftAsItIs) {
  TempFolder folder;
  const std::string ini = folder.File("TVXHandvane.INI");
  TempFolder::WriteAll(ini, "[Control]\r\nPort=8080\r\n");
  ASSERT_EQ(chmod(ini.c_str(), 0444), 0);
  EXPECT_EQ(platform::ProfileWriteString(ini, "Control", "Port", "9090").Code(), EACCES);
  EXPECT_EQ(TempFolder::ReadAll(ini), "[Control]\r\nPort=8080\r\n");
}

// Saving keeps the old file's other names and owner, and the folder's say
// over who may change it.
TEST(ProfileWrite, OwnerModeAndLinksStay) {
  TempFolder folder;
  const std::string ini = folder.File("TVXHandvane.INI");
  TempFolder::WriteAll(ini, "[Control]\r\nPort=8080\r\n");
  const std::string other = folder.File("Other.INI");
  ASSERT_EQ(link(ini.c_str(), other.c_str()), 0);
  ASSERT_TRUE(platform::ProfileWriteString(ini, "Control", "Port", "9090"));
  EXPECT_EQ(TempFolder::ReadAll(other), "[Control]\r\nPort=9090\r\n");
  ASSERT_EQ(unlink(other.c_str()), 0);

  // Root in a user namespace that maps no other user cannot give files away.
  constexpr uid_t kNobody = 65534;
  if (geteuid() != 0 || chown(ini.c_str(), kNobody, kNobody) != 0)
    GTEST_SKIP() << "the owners below need root with other users";
  ASSERT_EQ(chmod(ini.c_str(), 0640), 0);
  ASSERT_TRUE(platform::ProfileWriteString(ini, "Control", "Port", "9191"));
  struct stat info {};
  ASSERT_EQ(stat(ini.c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, kNobody);
  EXPECT_EQ(info.st_gid, kNobody);
  EXPECT_EQ(info.st_mode & 07777, 0640u);

  // Another user saves: the file is theirs to write, the folder is not.
  ASSERT_EQ(chmod(folder.Path().c_str(), 0755), 0);
  ASSERT_EQ(chmod(ini.c_str(), 0644), 0);
  const auto savedByNobody = [&](const char* port) {
    if (setgid(kNobody) != 0 || setuid(kNobody) != 0) std::_Exit(2);
    std::_Exit(platform::ProfileWriteString(ini, "Control", "Port", port).Code());
  };
  EXPECT_EXIT(savedByNobody("9292"), testing::ExitedWithCode(0), "");
  EXPECT_EQ(TempFolder::ReadAll(ini), "[Control]\r\nPort=9292\r\n");

  // Root's file in a folder everybody may write: another user may not change it.
  ASSERT_EQ(chown(ini.c_str(), 0, 0), 0);
  ASSERT_EQ(chmod(folder.Path().c_str(), 0777), 0);
  EXPECT_EXIT(savedByNobody("9393"), testing::ExitedWithCode(EACCES), "");
  ASSERT_EQ(stat(ini.c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, 0u);
  EXPECT_EQ(TempFolder::ReadAll(ini), "[Control]\r\nPort=9292\r\n");
  chmod(folder.Path().c_str(), 0700);
}

}  // namespace
