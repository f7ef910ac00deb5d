#include "common/log_set_aside.h"

#include "platform/files.h"

void SetLogAsideWhenFull(const std::string& path, std::uint64_t limit, std::string& setAsidePath) {
  std::uint64_t size = 0;
  if (!platform::FileSize(path, size) || size < limit) return;
  setAsidePath = path;
  setAsidePath += ".1";
  // Not set aside, the log goes on growing: better than losing its lines.
  static_cast<void>(platform::RenameReplacing(path, setAsidePath));
}
