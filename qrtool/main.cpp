// Codeplate: writes the access point and URL QR codes named in its INI file as
// BMP files. It takes no arguments; everything comes from the INI file.
#include <iostream>

#include "common/diagnostic_log.h"
#include "common/program_paths.h"
#include "platform/paths.h"
#include "qrtool/codeplate.h"

int main() {
  const ProgramPaths paths = BuildProgramPaths(platform::ProgramFilePath());
  DiagnosticLog log(paths.logFile);
  CodeplateSettings settings;
  ReadIni(settings, paths.iniFile, log);
  // Scripts can rely on the exit code: 0 only when both images are on disk.
  return WriteCodeplateImages(settings, std::cout) ? 0 : 1;
}
