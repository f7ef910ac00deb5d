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
#include "platform/process.h"
#include "platform/profile.h"
#include "platform/version.h"

namespace {

bool HasArgument(int argc, char** argv, const char* wanted) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], wanted) == 0) return true;
  }
  return false;
}

void PrintHelp() {
  std::printf(
      "usage: TVXHandvane [--console | --help | --version]\n"
      "\n"
      "Runs the HTTP server that turns phones into pointers: phones in the same network\n"
      "open the address it shows. Settings come from the .INI beside the program (Port\n"
      "under [Control], the folders under [Paths]).\n"
      "  --console  runs without a window: commands on standard input (type help)\n"
      "  --help     this text\n"
      "  --version  the program's version\n");
}

}  // namespace

int main(int argc, char** argv) {
  const bool wantHelp = HasArgument(argc, argv, "--help") || HasArgument(argc, argv, "-h");
  const bool wantVersion = HasArgument(argc, argv, "--version");
  const bool wantConsole = HasArgument(argc, argv, "--console");
  if (wantHelp || wantVersion || wantConsole || !CanShowWindow()) platform::OpenConsole();

  platform::ProgramVersion version;
  if (!platform::ReadProgramVersion(version)) {
    std::fprintf(stderr, "TVXHandvane: the program carries no version resource\n");
    return 1;
  }
  if (wantHelp) {
    PrintHelp();
    return 0;
  }
  if (wantVersion) {
    std::printf("TVXHandvane %u.%u.%u.%u\n", version.major, version.minor, version.buildHigh,
                version.buildLow);
    return 0;
  }
  const ProgramPaths paths = BuildProgramPaths(platform::ProgramFilePath());
  const std::string profile = ApplicationProfilePath(paths);
  // A settings file that is there but cannot be read would leave the program
  // on its defaults, with no access key in place of the one that was set: it
  // does not start then, and says which file it could not read.
  for (const std::string& file : {paths.iniFile, profile}) {
    if (const platform::Result readable = platform::ProfileCheckReadable(file); !readable) {
      platform::OpenConsole();
      std::fprintf(stderr, "TVXHandvane: can not read the settings file %s: %s\n", file.c_str(),
                   platform::FailureText(readable).c_str());
      return 1;
    }
  }
  auto app = std::make_unique<Application>(paths, profile);
  const int code =
      wantConsole || !CanShowWindow() ? RunConsoleFrontEnd(*app) : RunWindowFrontEnd(*app);
  app.reset();
  platform::EndProcess(code);  // a display attempt may still wait inside Xlib
}
