#include "common/log_set_aside.h"

#include "platform/files.h"

void SetLogAsideWhenFull(const std::string& path, std::uint64_t limit, std::string& setAsidePath) {
  std::uint64_t size = 0;
  if (!platform::FileSize(path, size) || size < limit) return;
  setAsidePath = path;
  setAsidePath += ".1";
  platform::RenameReplacing(path, setAsidePath);
}
