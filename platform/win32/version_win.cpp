#include "platform/version.h"

#include <windows.h>

#include <vector>

namespace platform {

// Reads the fixed file information of version resource 1.
bool ReadProgramVersion(ProgramVersion& version) {
  HRSRC resource =
      FindResourceA(nullptr, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(16) /* RT_VERSION */);
  if (resource == nullptr) return false;
  HGLOBAL loaded = LoadResource(nullptr, resource);
  const DWORD size = SizeofResource(nullptr, resource);
  const void* block = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (block == nullptr || size == 0) return false;

  // VerQueryValue may write into the block, so it works on a copy.
  std::vector<char> copy(static_cast<const char*>(block), static_cast<const char*>(block) + size);
  VS_FIXEDFILEINFO* info = nullptr;
  UINT infoSize = 0;
  if (!VerQueryValueA(copy.data(), "\\", reinterpret_cast<void**>(&info), &infoSize) ||
      info == nullptr || infoSize < sizeof(VS_FIXEDFILEINFO)) {
    return false;
  }
  version.major = HIWORD(info->dwFileVersionMS);
  version.minor = LOWORD(info->dwFileVersionMS);
  version.buildHigh = HIWORD(info->dwFileVersionLS);
  version.buildLow = LOWORD(info->dwFileVersionLS);
  return true;
}

}  // namespace platform
