// The pointer report protocol with its real tables, a real shared memory
// channel and the consumers' kit on its other side, driven by a script of
// reports ("/tolvex" followed by anything), clock steps, consumer commands,
// Vibrate buttons, silence checks and server restarts. Every answer must be four hexadecimal digits and every record the
// consumer takes must name a pointer from 0 to 79. The build checks every
// table index (standard library assertions), so an index outside 0 to 79
// stops the run even where it would land inside a neighbouring table.
//
// Script lines:
//   r<path>          report "/tolvex<path>", lower-cased as the router does
//   t<ms>            the clock moves on
//   c<pointer> <hex> the consumer puts a command for that pointer
//   v<hex>           a Vibrate button for the selected pointer
//   p<pointer>       the selected pointer changes (0 to 79, as the settings allow)
//   s                the timer's silence check
//   S                the server restarts; M: the program starts (all silent)
//   d                the consumer drains the report FIFO
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/ascii.h"
#include "common/diagnostic_log.h"
#include "fuzz/channel_pair.h"
#include "fuzz/fuzz_folder.h"
#include "fuzz/script_lines.h"
#include "pointer/pointer_protocol.h"

namespace {

struct Channels : ChannelPair {
  // Each input starts with empty FIFOs.
  void Empty() {
    SharedMemoryArea& area = *server.GetHeader();
    FifoRing<PointerFifo>::ResetRead(area.pointerFifo);
    for (CommandFifo& fifo : area.commandFifos) FifoRing<CommandFifo>::ResetRead(fifo);
  }
};

bool IsUpperHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

void CheckResponse(const ResponseText& response) {
  for (const char c : response) {
    if (!IsUpperHexDigit(c)) FuzzFailure("answer is not four hexadecimal digits");
  }
}

void CheckState(PointerProtocol& protocol) {
  const PointerProtocolState state = protocol.ReadState();
  for (std::size_t p = 0; p < state.packetNumber.size(); ++p) {
    if (state.packetNumber[p] < 0 || state.packetNumber[p] > 255) {
      FuzzFailure("packet number outside 0 to 255");
    }
    if (state.pendingAck[p] < 0 || state.pendingAck[p] > 255) {
      FuzzFailure("awaited echo outside 0 to 255");
    }
  }
}

void Drain(tvxhdv* consumer) {
  tvxhdv_report record;
  while (tvxhdv_read(consumer, &record, 1) == 1) {
    if (record.pointer >= static_cast<std::uint32_t>(kPointerCount))
      FuzzFailure("forwarded report of a pointer beyond 79");
    if (record.x > 0xFFFF || record.y > 0xFFFF || record.frame > 0xFFFF || record.screen > 0xFF) {
      FuzzFailure("forwarded report field wider than its hexadecimal digits");
    }
  }
}

std::string RoutingPath(std::string_view rest) {
  std::string path = "/tolvex";
  for (const char c : rest) path += AsciiLower(c);
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Channels* const channels = new Channels;
  static DiagnosticLog log;
  channels->Empty();
  log.SetEnabled(false);

  std::atomic<int> selectedPointer{0};
  const int logLevel = 4;  // every trace line formatted; the log itself is off
  std::uint32_t now = 0;
  PointerProtocol protocol({selectedPointer, logLevel}, log, [&now] { return now; });
  protocol.AttachChannel(&channels->server);
  protocol.MarkAllSilent();
  protocol.ResetForServerStart();

  ScriptLines script(data, size);
  std::string_view line;
  while (script.Next(line)) {
    if (line.empty()) continue;
    const char operation = line.front();
    line.remove_prefix(1);
    switch (operation) {
      case 'r':
        CheckResponse(protocol.HandlePointerReport(RoutingPath(line)));
        break;
      case 't':
        now += LeadingNumber<std::uint32_t>(line, 0);
        break;
      case 'c': {
        const int pointer = LeadingNumber<int>(line, 0);
        channels->PutCommand(pointer, LeadingNumber<std::uint32_t>(line, 0, 16));
        break;
      }
      case 'v':
        protocol.QueueVibrateCommand(LeadingNumber<std::int32_t>(line, 0, 16));
        break;
      case 'p': {
        const int pointer = LeadingNumber<int>(line, 0);
        if (pointer >= 0 && pointer < kPointerCount) selectedPointer = pointer;
        break;
      }
      case 's':
        protocol.MarkSilentPointers(now);
        break;
      case 'S':
        protocol.ResetForServerStart();
        break;
      case 'M':
        protocol.MarkAllSilent();
        break;
      case 'd':
        Drain(channels->consumer);
        break;
      default:
        break;
    }
    CheckState(protocol);
  }
  Drain(channels->consumer);
  return 0;
}
