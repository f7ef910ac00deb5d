// TVXHandvane: reads its version, builds the paths beside the program file
// and runs the dialog, in its window where one can be shown and in the
// console otherwise (also on request with --console).
#include <cstdio>
#include <cstring>
#include <memory>

#include "app/application.h"
#include "app/console/console_front_end.h"
#include "app/window_front_end.h"
#include "platform/console.h"
#include "platform/paths.h"
#include "platform/version.h"

namespace {

bool HasArgument(int argc, char** argv, const char* wanted) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], wanted) == 0) return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  const bool wantConsole = HasArgument(argc, argv, "--console");
  if (wantConsole || !CanShowWindow()) platform::OpenConsole();

  platform::ProgramVersion version;
  if (!platform::ReadProgramVersion(version)) {
    std::fprintf(stderr, "TVXHandvane: the program carries no version resource\n");
    return 1;
  }
  const ProgramPaths paths = BuildProgramPaths(platform::ProgramFilePath());
  auto app = std::make_unique<Application>(paths, ApplicationProfilePath(paths));
  if (wantConsole || !CanShowWindow()) return RunConsoleFrontEnd(*app);
  return RunWindowFrontEnd(*app);
}
