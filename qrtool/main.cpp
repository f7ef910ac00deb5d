// Codeplate: writes the access point and URL QR codes named in its INI file as
// BMP files. Everything comes from the INI file; the only arguments are
// --help and --version, and any other is ignored as it always was.
#include <cstring>
#include <iostream>

#include "common/diagnostic_log.h"
#include "common/program_paths.h"
#include "platform/paths.h"
#include "qrtool/codeplate.h"

namespace {

void PrintHelp(const ProgramPaths& paths) {
  std::cout << "usage: Codeplate [--help | --version]\n"
               "\n"
               "Codeplate writes two QR codes as 24-bit BMP files: one that joins the phones to\n"
               "the Wi-Fi network and one that opens TVXHandvane's page. It reads everything\n"
               "from "
            << paths.iniFile
            << ":\n"
               "  [Input]  AccessPoint  the Wi-Fi text, e.g. WIFI:T:WPA;S:network;P:password;;\n"
               "           URL          the page, e.g. http://192.168.1.20:8080/ (add\n"
               "                        #pointer=N for a code that sets the phone's number)\n"
               "           NumberOfBMPPixelsPerQRCodePixel, PixelValueRed/Green/Blue\n"
               "  [Output] File1, File2  the two BMP files\n"
               "It prints nothing and exits with 0 when both files were written; otherwise it\n"
               "prints the reason and exits with 1.\n";
}

}  // namespace

int main(int argc, char** argv) {
  const ProgramPaths paths = BuildProgramPaths(platform::ProgramFilePath());
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    PrintHelp(paths);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::cout << "Codeplate " << TVX_VERSION_TEXT << "\n";
    return 0;
  }
  DiagnosticLog log(paths.logFile);
  CodeplateSettings settings;
  ReadIni(settings, paths.iniFile, log);
  // Scripts can rely on the exit code: 0 only when both images are on disk.
  return WriteCodeplateImages(settings, std::cout) ? 0 : 1;
}
