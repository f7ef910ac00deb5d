// TVXTap: a console window onto the shared memory area of a running
// TVXHandvane server, for people who write a consuming application.
//
//   TVXTap [--folder DIR] watch [--json] [--from-now]   print every pointer report
//   TVXTap [--folder DIR] send POINTER CODE put one command for a phone
//   TVXTap [--folder DIR] info             print the area's header
//   TVXTap [--folder DIR] terminate        end the server
//
// DIR holds the rendezvous file "TVXHDVMemory.INI" (default: this folder).
// Everything it does on the area goes through sdk/c/tvxhdv.h, the library it
// shares with consuming applications.
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "sdk/c/tvxhdv.h"
#include "tap/tap_messages.h"
#include "tap/watch.h"

namespace {

// The command lines with what each does; README.md shows the same block.
constexpr const char* kUsage =
    "usage:\n"
    "  TVXTap [--folder DIR] watch [--json] [--from-now]\n"
    "                                          print each report as it arrives, until Ctrl+C\n"
    "  TVXTap [--folder DIR] send POINTER CODE put one command (pointer 0-79, code 1-253 or 0x..)\n"
    "  TVXTap [--folder DIR] info              sizes, versions, FillTextMatches, FIFO counts\n"
    "  TVXTap [--folder DIR] terminate         end the server that created the area\n"
    "  TVXTap --help | --version               this text, or the version\n";

constexpr const char* kHelp =
    "\n"
    "TVXTap reads and feeds the shared memory area of a running TVXHandvane, from the\n"
    "side of a consuming application.\n"
    "\n"
    "  --folder DIR  the folder of TVXHDVMemory.INI, which the server writes at start:\n"
    "                PathToIniFolder under [Paths] in TVXHandvane.INI (default: the\n"
    "                current folder)\n"
    "  watch         prints each pointer report as it arrives, until Ctrl+C; when the\n"
    "                server ends it waits for the next one. A named pointer's lines end\n"
    "                in its name. --json prints JSON lines, --from-now skips the\n"
    "                reports queued before the watch began\n"
    "  send          puts command CODE (1 to 253, or 0x01 to 0xFD) for pointer POINTER\n"
    "                (0 to 79); the phone gets it with its next report. 0 means no\n"
    "                command, FE and FF are the server's own, so none is sent. Fails\n"
    "                when no server runs\n"
    "  info          prints the area's sizes, versions and FIFO counts\n"
    "  terminate     ends the server that created the area\n"
    "\n"
    "Errors go to standard error with exit code 1 (2 for a wrong command line).\n";

int Usage(const char* problem = nullptr) {
  if (problem != nullptr) std::fprintf(stderr, "TVXTap: %s\n", problem);
  std::fputs(kUsage, stderr);
  return 2;
}

// A number given in decimal or, with "0x", in hexadecimal.
bool ParseNumber(std::string_view text, int low, int high, int& value) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  return error == std::errc() && end == text.data() + text.size() && value >= low && value <= high;
}

// The server serves the command FIFOs of the phones' pointers 0 to 79 only,
// and passes on codes 1 to 253: 0 is "no command" to a phone, FE and FF the server's own.
// Empty when both are in range, else what is wrong.
std::string CheckSendArguments(std::string_view pointerText, std::string_view codeText,
                               int& pointer, int& code) {
  if (!ParseNumber(pointerText, 0, TVXHDV_POINTERS - 1, pointer)) {
    return "send: POINTER must be a number from 0 to 79, not \"" + std::string(pointerText) + "\"";
  }
  if (!ParseNumber(codeText, 1, 253, code)) {
    return "send: CODE must be 1 to 253 (or 0x01 to 0xFD), not \"" + std::string(codeText) + "\"";
  }
  return {};
}

int Send(tvxhdv* handle, int pointer, int code) {
  return tvxhdv_send(handle, pointer, static_cast<unsigned>(code)) == TVXHDV_OK ? 0
                                                                                : ReportFailure();
}

// What every command FIFO block's size field should say.
constexpr std::uint32_t kCommandFifoBlockSize = 6420;

int Info(tvxhdv* handle) {
  static tvxhdv_info info;  // large: the counts of all 600 command FIFOs
  if (tvxhdv_get_info(handle, &info) != 1) return ReportFailure();
  const std::uint32_t version = info.server_version;
  std::printf("MappingName: %s\n", info.name);
  std::printf("TotalSize: %u\n", info.total_size);
  std::printf("StructVersion: %08X\n", info.struct_version);
  std::printf("VersionBlockSize: %u\n", info.version_block_size);
  std::printf("VersionWebServerService: %08X (%u.%u.%u.%u)\n", version, version >> 24,
              (version >> 16) & 0xFF, (version >> 8) & 0xFF, version & 0xFF);
  std::printf("PointerFifoBlockSize: %u\n", info.report_fifo_block_size);
  std::printf("CommandFifoBlockSize: %u\n", info.command_fifo_block_size[0]);
  std::printf("FillTextMatches: %d\n", info.fill_text_matches);
  std::printf("PointerFifoCount: %d\n", info.reports_queued);
  for (int pointer = 0; pointer < TVXHDV_COMMAND_FIFOS; ++pointer) {
    if (info.command_fifo_block_size[pointer] != kCommandFifoBlockSize) {
      std::printf("CommandFifoBlockSize %d: %u\n", pointer, info.command_fifo_block_size[pointer]);
    }
    if (info.commands_queued[pointer] != 0) {
      std::printf("CommandFifoCount %d: %d\n", pointer, info.commands_queued[pointer]);
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string_view> arguments(argv + 1, argv + argc);
  if (arguments.size() == 1 && (arguments[0] == "--help" || arguments[0] == "-h")) {
    std::fputs(kUsage, stdout);
    std::fputs(kHelp, stdout);
    return 0;
  }
  if (arguments.size() == 1 && arguments[0] == "--version") {
    std::printf("TVXTap %s\n", TVX_VERSION_TEXT);
    return 0;
  }
  std::string folder = ".";
  if (arguments.size() >= 2 && arguments[0] == "--folder") {
    folder = std::string(arguments[1]);
    arguments.erase(arguments.begin(), arguments.begin() + 2);
  }
  if (arguments.empty()) return Usage("which command?");

  const std::string_view command = arguments[0];
  const auto has = [&](std::string_view option) {
    return std::find(arguments.begin() + 1, arguments.end(), option) != arguments.end();
  };
  const bool json = has("--json");
  const bool fromNow = has("--from-now");
  const bool watch = command == "watch" && arguments.size() == 1u + json + fromNow;
  const bool send = command == "send" && arguments.size() == 3;
  const bool single = (command == "info" || command == "terminate") && arguments.size() == 1;
  if (!watch && !send && !single) {
    const std::string problem =
        command == "watch" || command == "send" || command == "info" || command == "terminate"
            ? "wrong arguments for " + std::string(command)
            : "unknown command \"" + std::string(command) + "\"";
    return Usage(problem.c_str());
  }
  if (watch) return Watch(folder, json, fromNow);
  int pointer = 0;
  int code = 0;
  if (send) {
    const std::string problem = CheckSendArguments(arguments[1], arguments[2], pointer, code);
    if (!problem.empty()) return Usage(problem.c_str());
  }

  // info and terminate look at whatever area the server made; send needs
  // the layout it writes into. None of them takes reports, so they run
  // beside the program that reads them.
  tvxhdv* handle =
      tvxhdv_open(folder.c_str(), TVXHDV_SEND_ONLY | (send ? 0u : TVXHDV_ANY_LAYOUT));
  if (handle == nullptr) return ReportFailure();
  int exitCode = 0;
  if (send) {
    exitCode = Send(handle, pointer, code);
  } else if (command == "info") {
    exitCode = Info(handle);
  } else if (tvxhdv_terminate_server(handle) != 1) {
    exitCode = ReportFailure();
  }
  tvxhdv_close(handle);
  return exitCode;
}
