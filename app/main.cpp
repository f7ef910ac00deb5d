// TVXHandvane: reads its version, builds the paths beside the program file
// and runs the dialog. Until a window front end exists on a platform, the
// dialog runs in the console (also on request with --console).
#include <cstdio>
#include <memory>

#include "app/application.h"
#include "app/console_front_end.h"
#include "platform/paths.h"
#include "platform/version.h"

int main() {
  platform::ProgramVersion version;
  if (!platform::ReadProgramVersion(version)) {
    std::fprintf(stderr, "TVXHandvane: the program carries no version resource\n");
    return 1;
  }
  const ProgramPaths paths = BuildProgramPaths(platform::ProgramFilePath());
  auto app = std::make_unique<Application>(paths, ApplicationProfilePath(paths));
  return RunConsoleFrontEnd(*app);
}
