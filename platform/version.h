// The program's own file version.
#pragma once

#include <cstdint>

#include "platform/result.h"

namespace platform {

struct ProgramVersion {
  std::uint16_t major = 0;
  std::uint16_t minor = 0;
  std::uint16_t buildHigh = 0;
  std::uint16_t buildLow = 0;
};

// Reads the version the build gave the program; fails when it has none.
Result ReadProgramVersion(ProgramVersion& version);

}  // namespace platform
