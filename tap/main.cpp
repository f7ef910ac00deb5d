// TVXTap: a console window onto the shared memory area of a running
// TVXHandvane server, for people who write a consuming application.
//
//   TVXTap [--folder DIR] watch [--json] [--from-now]   print every pointer report
//   TVXTap [--folder DIR] send POINTER CODE put one command for a phone
//   TVXTap [--folder DIR] info             print the area's header
//   TVXTap [--folder DIR] terminate        end the server
//
// DIR holds the rendezvous file "TVXHDVMemory.INI" (default: this folder).
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "common/pointer_limits.h"
#include "platform/process.h"
#include "pointer/shared_memory_channel.h"
#include "tap/tap_messages.h"
#include "tap/watch.h"

namespace {

constexpr const char* kUsage =
    "usage: TVXTap [--folder DIR] watch [--json] [--from-now]\n"
    "       TVXTap [--folder DIR] send POINTER CODE\n"
    "       TVXTap [--folder DIR] info\n"
    "       TVXTap [--folder DIR] terminate\n"
    "       TVXTap --help | --version\n";

constexpr const char* kHelp =
    "\n"
    "TVXTap reads and feeds the shared memory area of a running TVXHandvane, from the\n"
    "side of a consuming application.\n"
    "\n"
    "  --folder DIR  the folder of TVXHDVMemory.INI, which the server writes at start:\n"
    "                PathToIniFolder under [Paths] in TVXHandvane.INI (default: the\n"
    "                current folder)\n"
    "  watch         prints each pointer report as it arrives, until Ctrl+C; when the\n"
    "                server ends it waits for the next one. --json prints JSON lines,\n"
    "                --from-now skips the reports queued before the watch began\n"
    "  send          puts command CODE (0 to 255, or 0x00 to 0xFF) for pointer POINTER\n"
    "                (0 to 79); the phone gets it with its next report\n"
    "  info          prints the area's sizes, versions and FIFO counts\n"
    "  terminate     ends the server that created the area\n"
    "\n"
    "Errors go to standard error with exit code 1 (2 for a wrong command line).\n";

int Usage(const char* problem = nullptr) {
  if (problem != nullptr) std::fprintf(stderr, "TVXTap: %s\n", problem);
  std::fputs(kUsage, stderr);
  return 2;
}

int ChannelError(const SharedMemoryChannel& channel, const char* fallback) {
  const std::string& text = channel.GetLastErrorText();
  std::fprintf(stderr, "%s\n", text.empty() ? fallback : text.c_str());
  return 1;
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

bool OpenChannel(SharedMemoryChannel& channel, const std::string& folder) {
  std::uint32_t structVersion = 0;
  int created = 0;
  return channel.SharedMemoryInit(0, folder, structVersion, created) == 1;
}

// The server serves the command FIFOs of the phones' pointers 0 to 79 only.
// Empty when both are in range, else what is wrong.
std::string CheckSendArguments(std::string_view pointerText, std::string_view codeText,
                               int& pointer, int& code) {
  if (!ParseNumber(pointerText, 0, kPointerCount - 1, pointer)) {
    return "send: POINTER must be a number from 0 to 79, not \"" + std::string(pointerText) + "\"";
  }
  if (!ParseNumber(codeText, 0, 255, code)) {
    return "send: CODE must be 0 to 255 (or 0x00 to 0xFF), not \"" + std::string(codeText) + "\"";
  }
  return {};
}

int Send(SharedMemoryChannel& channel, int pointer, int code) {
  CommandRecord record;
  record.command = static_cast<std::uint32_t>(code);
  if (channel.PutCommand(pointer, record) != 1) {
    std::fprintf(stderr, "The command FIFO of pointer %d is full\n", pointer);
    return 1;
  }
  return 0;
}

int Info(const SharedMemoryChannel& channel) {
  const SharedMemoryArea& area = *channel.GetHeader();
  const std::uint32_t version = area.versionWebServerService;
  std::printf("MappingName: %s\n", channel.GetMappingName().c_str());
  std::printf("TotalSize: %u\n", area.totalSize);
  std::printf("StructVersion: %08X\n", area.structVersion);
  std::printf("VersionBlockSize: %u\n", area.versionBlockSize);
  std::printf("VersionWebServerService: %08X (%u.%u.%u.%u)\n", version, version >> 24,
              (version >> 16) & 0xFF, (version >> 8) & 0xFF, version & 0xFF);
  std::printf("PointerFifoBlockSize: %u\n", area.pointerFifo.blockSize);
  std::printf("CommandFifoBlockSize: %u\n", area.commandFifos[0].blockSize);
  std::printf("FillTextMatches: %d\n", channel.FillTextMatches());
  std::printf("PointerFifoCount: %d\n", channel.PointerFifoCount());
  for (int pointer = 0; pointer < kCommandFifoCount; ++pointer) {
    if (area.commandFifos[pointer].blockSize != CommandFifo::kBlockSize) {
      std::printf("CommandFifoBlockSize %d: %u\n", pointer, area.commandFifos[pointer].blockSize);
    }
    const int count = channel.CommandFifoCount(pointer);
    if (count != 0) std::printf("CommandFifoCount %d: %d\n", pointer, count);
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

  SharedMemoryChannel channel;
  if (!OpenChannel(channel, folder)) return ReportOpenFailure(channel, folder);
  if (send) return Send(channel, pointer, code);
  if (command == "info") return Info(channel);
  if (channel.TerminateCreator() != 1) {
    return ChannelError(channel, "Could not terminate the creator process");
  }
  return 0;
}
