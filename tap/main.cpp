// TVXTap: a console window onto the shared memory area of a running
// TVXHandvane server, for people who write a consuming application.
//
//   TVXTap [--folder DIR] watch [--json]   print every pointer report
//   TVXTap [--folder DIR] send POINTER CODE put one command for a phone
//   TVXTap [--folder DIR] info             print the area's header
//   TVXTap [--folder DIR] terminate        end the server
//
// DIR holds the rendezvous file "TVXHDVMemory.INI" (default: this folder).
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/process.h"
#include "pointer/shared_memory_channel.h"
#include "tap/report_lines.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;

extern "C" void RequestStop(int) {
  stopRequested = 1;
}

int Usage() {
  std::fputs(
      "usage: TVXTap [--folder DIR] watch [--json]\n"
      "       TVXTap [--folder DIR] send POINTER CODE\n"
      "       TVXTap [--folder DIR] info\n"
      "       TVXTap [--folder DIR] terminate\n",
      stderr);
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

// Polls the report FIFO: every 1 ms while reports flow, backing off to 20 ms
// once it has been idle for a while, so that an idle tap costs next to nothing.
int Watch(SharedMemoryChannel& channel, bool json) {
  using namespace std::chrono_literals;
  std::signal(SIGINT, RequestStop);
  std::signal(SIGTERM, RequestStop);
  platform::UseFineSleepGranularity();

  int idlePolls = 0;
  char line[256];
  while (stopRequested == 0) {
    PointerReportRecord report;
    bool took = false;
    while (stopRequested == 0 && channel.GetPointerReport(report) == 1) {
      const std::size_t length = json ? FormatReportJson(report, line, sizeof(line))
                                      : FormatReportText(report, line, sizeof(line));
      std::fwrite(line, 1, length, stdout);
      std::fflush(stdout);
      took = true;
    }
    idlePolls = took ? 0 : idlePolls + 1;
    std::this_thread::sleep_for(idlePolls < 200 ? 1ms : 20ms);
  }
  return 0;
}

int Send(SharedMemoryChannel& channel, std::string_view pointerText, std::string_view codeText) {
  int pointer = 0;
  int code = 0;
  if (!ParseNumber(pointerText, 0, kCommandFifoCount - 1, pointer) ||
      !ParseNumber(codeText, 0, 255, code)) {
    return Usage();
  }
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
  std::string folder = ".";
  if (arguments.size() >= 2 && arguments[0] == "--folder") {
    folder = std::string(arguments[1]);
    arguments.erase(arguments.begin(), arguments.begin() + 2);
  }
  if (arguments.empty()) return Usage();

  const std::string_view command = arguments[0];
  const bool watch = command == "watch" &&
                     (arguments.size() == 1 || (arguments.size() == 2 && arguments[1] == "--json"));
  const bool send = command == "send" && arguments.size() == 3;
  const bool single = (command == "info" || command == "terminate") && arguments.size() == 1;
  if (!watch && !send && !single) return Usage();

  SharedMemoryChannel channel;
  if (!OpenChannel(channel, folder)) return ChannelError(channel, "Could not open the area");
  if (watch) return Watch(channel, arguments.size() == 2);
  if (send) return Send(channel, arguments[1], arguments[2]);
  if (command == "info") return Info(channel);
  if (channel.TerminateCreator() != 1) {
    return ChannelError(channel, "Could not terminate the creator process");
  }
  return 0;
}
