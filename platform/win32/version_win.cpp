#include "platform/version.h"

#include <vector>

#include "platform/win32/system_error.h"

namespace platform {

// Reads the fixed file information of version resource 1.
Result ReadProgramVersion(ProgramVersion& version) {
  HRSRC resource =
      FindResourceA(nullptr, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(16) /* RT_VERSION */);
  if (resource == nullptr) return LastFailure();
  HGLOBAL loaded = LoadResource(nullptr, resource);
  const DWORD size = SizeofResource(nullptr, resource);
  const void* block = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (block == nullptr || size == 0) return LastFailure();

  // VerQueryValue may write into the block, so it works on a copy.
  std::vector<char> copy(static_cast<const char*>(block), static_cast<const char*>(block) + size);
  VS_FIXEDFILEINFO* info = nullptr;
  UINT infoSize = 0;
  if (!VerQueryValueA(copy.data(), "\\", reinterpret_cast<void**>(&info), &infoSize) ||
      info == nullptr || infoSize < sizeof(VS_FIXEDFILEINFO)) {
    return Failure(ERROR_RESOURCE_TYPE_NOT_FOUND);
  }
  version.major = HIWORD(info->dwFileVersionMS);
  version.minor = LOWORD(info->dwFileVersionMS);
  version.buildHigh = HIWORD(info->dwFileVersionLS);
  version.buildLow = LOWORD(info->dwFileVersionLS);
  return Result();
}

}  // namespace platform
