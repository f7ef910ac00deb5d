#include "pointer/rendezvous_file.h"

#include <charconv>
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

bool RendezvousFile::Exists() const {
  return platform::PathExists(path_);
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
    memory.Close();
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

int RendezvousFile::ReadMappingName(std::string& name, int& error) const {
  const platform::Result read = platform::ProfileReadRequired(path_, kSection, kNameKey, 260, name);
  error = read.Code();
  return read ? 1 : 0;
}

RendezvousFile::Termination RendezvousFile::TerminateCreator() const {
  // A consumer may ask before it opened anything: the path from the folder as it is.
  const std::string rendezvousFile = InFolder(folder_, kRendezvousFileName);
  const std::string idText =
      platform::ProfileReadString(rendezvousFile, kSection, kCreatorKey, "", 360);
  if (idText.empty()) return Termination::kCreatorUnknown;
  std::uint32_t id = 0;
  const std::size_t digits = idText.size() < 8 ? idText.size() : 8;
  if (std::from_chars(idText.data(), idText.data() + digits, id, 16).ec != std::errc()) {
    return Termination::kNotEnded;
  }

  // The file outlives the server and its process id may have been given to
  // another program since: the process is ended only when the system shows
  // that it is the one holding the area the file names.
  const std::string name = platform::ProfileReadString(rendezvousFile, kSection, kNameKey, "", 260);
  if (name.empty()) return Termination::kNotEnded;
  return platform::SharedMemory::TerminateCreator(name, id) ? Termination::kEnded
                                                            : Termination::kNotEnded;
}
