// Codeplate: writes the access point and URL QR codes named in its INI file as
// BMP files. Everything comes from the INI file; the only arguments are
// --help and --version, and any other is ignored as it always was.
#include <cstring>
#include <iostream>
#include <optional>

#include "common/diagnostic_log.h"
#include "common/program_paths.h"
#include "platform/files.h"
#include "platform/network_addresses.h"
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
               "           URL          auto: TVXHandvane's page on this PC, with its first\n"
               "                        network address and Port of the TVXHandvane.INI\n"
               "                        beside Codeplate (8080 without one), and its\n"
               "                        AccessKey (for auto, TVXHandvane must be running);\n"
               "                        any other text is encoded as it is\n"
               "           Pointers     e.g. 0-29 or 3,5,7-9: also one code per number,\n"
               "                        pointerNN.bmp beside File2, that sets the phone's\n"
               "                        number (the page's address with #pointer=N)\n"
               "           NumberOfBMPPixelsPerQRCodePixel, PixelValueRed/Green/Blue\n"
               "  [Output] File1, File2  the two BMP files\n"
               "It prints nothing and exits with 0 when every file was written; otherwise it\n"
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
  if (!platform::PathExists(paths.iniFile)) {
    std::cout << "Codeplate.INI is missing: Codeplate takes the texts to encode and the files"
                 " to write from "
              << paths.iniFile
              << ". Put the Codeplate.INI that comes with Codeplate there and fill in your"
                 " network.\n";
    return 1;
  }
  ServerLocation server;
  if (IsAutoUrl(settings.url)) {
    // The same address the console of TVXHandvane shows first.
    server.addresses = platform::LocalNetworkAddresses();
    const std::string serverBase = FolderOf(paths.programFile) + "TVXHandvane";
    server.port = ReadServerPort(serverBase + ".INI");
    const std::optional<std::string> key =
        ReadServerAccessKey(serverBase + ".INI", serverBase + ".KEY", server);
    server.accessKey = key.value_or("");
    server.accessKeyUnknown = !key;
  }
  // Scripts can rely on the exit code: 0 only when every image is on disk.
  return WriteCodeplateImages(settings, server, std::cout) ? 0 : 1;
}
