// The program's own file version.
#pragma once

#include <cstdint>

namespace platform {

struct ProgramVersion {
  std::uint16_t major = 0;
  std::uint16_t minor = 0;
  std::uint16_t buildHigh = 0;
  std::uint16_t buildLow = 0;
};

// Reads the version the build gave the program; false when it has none.
bool ReadProgramVersion(ProgramVersion& version);

}  // namespace platform
