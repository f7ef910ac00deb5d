#include "pointer/rendezvous_file.h"

#include <cstdio>

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "platform/thread.h"

namespace {

constexpr char kRendezvousFileName[] = "TVXHDVMemory.INI";
constexpr char kTemporaryFileName[] = "TVXHDVMemory.TMP";
constexpr char kSection[] = "Memory";
constexpr char kNameKey[] = "SharedMemoryName";
constexpr char kCreatorKey[] = "CreatorProcessID";

// A consumer that reads the old file just now holds it open, and on Windows
// an open file cannot be removed: the removal is tried for up to a second.
constexpr int kRemoveAttempts = 20;
constexpr int kRemovePauseMs = 50;

std::string InFolder(const std::string& folder, const char* fileName) {
  return folder + platform::PathSeparator() + fileName;
}

bool RemoveLeftover(const std::string& path) {
  for (int attempt = 1;; ++attempt) {
    if (!platform::PathExists(path) || platform::RemoveFile(path)) return true;
    if (attempt == kRemoveAttempts) return false;
    platform::SleepMs(kRemovePauseMs);
  }
}

}  // namespace

void RendezvousFile::SetFolder(const std::string& folder) {
  folder_ = folder;
  path_ = InFolder(folder_, kRendezvousFileName);
}

RendezvousFile::Claim RendezvousFile::ClaimArea(platform::SharedMemory& memory,
                                                const std::string& name, int& error) {
  // A running server keeps its area and its rendezvous file; only a name
  // that nobody runs under any more is taken over.
  const platform::SharedMemory::ClaimResult claim = memory.ClaimName(name);
  error = claim.error;
  switch (claim.claim) {
    case platform::SharedMemory::Claim::kClaimed:
      break;
    case platform::SharedMemory::Claim::kHeldByRunningCreator:
      return Claim::kHeldByRunningCreator;
    case platform::SharedMemory::Claim::kFailed:
      return Claim::kFailed;
  }
  if (!RemoveLeftover(path_)) {
    static_cast<void>(memory.Close());
    return Claim::kLeftoverKept;
  }
  temporaryPath_ = InFolder(folder_, kTemporaryFileName);
  return Claim::kClaimed;
}

int RendezvousFile::WriteMappingName(const std::string& name, int& error) const {
  const platform::Result written =
      platform::ProfileWriteString(temporaryPath_, kSection, kNameKey, name.c_str());
  error = written.Code();
  return written ? 1 : 0;
}

int RendezvousFile::WriteCreatorProcessId(int& error) const {
  char processId[9];
  std::snprintf(processId, sizeof processId, "%08X", static_cast<unsigned>(platform::ProcessId()));
  const platform::Result written =
      platform::ProfileWriteString(temporaryPath_, kSection, kCreatorKey, processId);
  error = written.Code();
  return written ? 1 : 0;
}

int RendezvousFile::Publish() const {
  return platform::RenameWithoutReplace(temporaryPath_, path_) ? 1 : 0;
}
