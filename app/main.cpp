// TVXHandvane start-up: version, paths and settings. The server and its
// operator front ends build on this.
#include <cstdio>

#include "app/settings.h"
#include "common/diagnostic_log.h"
#include "common/program_paths.h"
#include "platform/paths.h"
#include "platform/version.h"

int main() {
  platform::ProgramVersion version;
  if (!platform::ReadProgramVersion(version)) {
    std::fprintf(stderr, "TVXHandvane: the program carries no version\n");
    return 1;
  }
  const ProgramPaths paths = BuildProgramPaths(platform::ProgramFilePath());
  DiagnosticLog log(paths.logFile);
  Settings settings;
  ReadIni(settings, paths.iniFile, log);

  std::printf("TVXHandvane %u.%u.%u.%u\n", version.major, version.minor, version.buildHigh,
              version.buildLow);
  std::printf("Settings: %s (port %d)\n", paths.iniFile.c_str(), settings.port);
  return 0;
}
