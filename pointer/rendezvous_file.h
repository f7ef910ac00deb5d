// The rendezvous file "TVXHDVMemory.INI" through which a consumer finds the
// shared area, and the creator's claim on the area's name. The creator claims
// the name first, so that a running server keeps its area and its file; then
// it removes the file an ended server left, writes the name and its own
// process id into "TVXHDVMemory.TMP" and, once the area is complete, renames
// that file to the rendezvous file, so a consumer sees it only then.
// Consumers read it through their kit, sdk/c/tvxhdv.h.
//
// The folder is used as given: an empty one means the root folder.
#pragma once

#include <cstdint>
#include <string>

#include "platform/shared_memory.h"

class RendezvousFile {
 public:
  // Both files lie in this folder from now on.
  void SetFolder(const std::string& folder);
  // The rendezvous file's path; empty until a folder was set.
  const std::string& Path() const { return path_; }
  // The temporary file's path; set by a creator's claim.
  const std::string& TemporaryPath() const { return temporaryPath_; }

  // First step: claims the name through the area's memory
  // object and removes a leftover rendezvous file. `error` carries the
  // claim's error code when kFailed; with kLeftoverKept the claim is let go.
  enum class Claim { kClaimed, kHeldByRunningCreator, kFailed, kLeftoverKept };
  Claim ClaimArea(platform::SharedMemory& memory, const std::string& name, int& error);
  // The keys of the temporary file. 1, or 0 with the system's
  // error code in `error`.
  int WriteMappingName(const std::string& name, int& error) const;
  int WriteCreatorProcessId(int& error) const;
  // Last step: renames the temporary file to the rendezvous
  // file, which must not exist. 1 or 0.
  int Publish() const;

 private:
  std::string folder_;
  std::string path_;
  std::string temporaryPath_;
};
