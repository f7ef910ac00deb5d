#include "platform/version.h"

namespace platform {

// The numbers come from the project version in the build.
Result ReadProgramVersion(ProgramVersion& version) {
  version.major = TVX_VERSION_MAJOR;
  version.minor = TVX_VERSION_MINOR;
  version.buildHigh = TVX_VERSION_BUILD_HIGH;
  version.buildLow = TVX_VERSION_BUILD_LOW;
  return Result();
}

}  // namespace platform
