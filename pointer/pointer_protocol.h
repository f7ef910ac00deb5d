// The phones' report protocol: per-pointer tables, the selected pointer's live
// status, and the numbered command packets that go back to the phones until
// they echo them.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "common/pointer_limits.h"
#include "pointer/cursor_control.h"
#include "pointer/live_status.h"
#include "pointer/pointer_names.h"
#include "pointer/pointer_peers.h"
#include "pointer/pointer_report.h"
#include "pointer/pointer_report_handler.h"
#include "pointer/shared_memory_channel.h"

class DiagnosticLog;

template <typename T>
using PerPointer = std::array<T, kPointerCount>;

struct PointerProtocolState {
  PerPointer<std::int32_t> packetNumber{};     // last packet sent: 0, then 1 to 255, then 0 again
  PerPointer<std::int32_t> currentCommand{};   // code carried by that packet
  PerPointer<std::int32_t> pendingAck{};       // packet whose echo is awaited; 0 = none
  PerPointer<std::uint32_t> lastReportTick{};  // tick count of the last report
  PerPointer<std::int32_t> resetRequest{};     // 1 = silent; the next report drops the awaited echo
  PerPointer<std::int32_t> requestedCommand{};  // code queued by a Vibrate button; 0 = none
  PerPointer<std::uint8_t>
      shownCode{};               // show code last sent, for a page that loads again; 0 = none
  PerPointer<bool> shownOwed{};  // a newly loaded page is to get shownCode again
  // The last fresh frame, and the address it came from, against which a
  // batch sent again is told apart; lastFrameKept false: none to compare.
  PerPointer<std::uint16_t> lastFrame{};
  PerPointer<std::uint32_t> lastFramePeer{};
  PerPointer<bool> lastFrameKept{};
};

// A pointer that reported lately, as its last report left it.
struct ReportingPointer {
  int pointer = 0;
  LiveStatus status;
  bool twoPhones = false;  // two addresses reported on it within the last second
};

// Every pointer's last report and when it came, as the pointer overlay reads
// them many times a second: a fixed record that the reader owns, filled
// without allocating.
struct PointerSighting {
  LiveStatus status;
  std::uint32_t lastReportTick = 0;
  bool reported = false;   // a report came since the program started
  bool twoPhones = false;  // two addresses reported on it within the last second
};
struct PointerSightings {
  std::uint32_t now = 0;  // the protocol's tick count when they were read
  PerPointer<PointerSighting> pointers{};
};

// Commands of the dialog's six Vibrate buttons.
enum VibrateCommand : std::int32_t {
  kVibrateShortSingle = 0xA0,
  kVibrateNormalSingle = 0xA1,
  kVibrateLongSingle = 0xA2,
  kVibrateShortDouble = 0xA3,
  kVibrateNormalDouble = 0xA4,
  kVibrateLongDouble = 0xA5,
};

// Reserved: answered to a phone whose number another phone already reports
// on, in place of a command. Never taken from the command FIFO.
inline constexpr std::int32_t kAnotherPhoneCode = 0xFF;
// Reserved: answered once to the phone whose number the teacher freed, in
// place of a command; its page asks for another number. Never taken from
// the command FIFO.
inline constexpr std::int32_t kNumberFreedCode = 0xFE;

// What the page shows across its pad until told otherwise: a tick, a cross,
// a team colour, a digit. Clearing it is kShowClearCode; vibrations and other
// codes pass and leave nothing shown.
inline constexpr std::int32_t kShowClearCode = 0xB0;
inline constexpr bool IsShowCode(std::int32_t code) {
  return code == 0xB1 || code == 0xB2 || (code >= 0xC0 && code <= 0xC7) ||
         (code >= 0xD0 && code <= 0xD9);
}

// A pointer silent for longer has left: what it showed is forgotten, so that
// a phone that takes its number later starts blank. Long enough for a page to
// load again over a slow network, or to come back after a short outage.
inline constexpr std::uint32_t kShownKeptMs = 30000;

// A batch sent again carries frames the pointer has passed by at most this
// many; a phone whose count starts again lower lands further back (or comes
// after kShownKeptMs of silence, when the last frame is forgotten too).
inline constexpr std::uint16_t kRepeatWindow = 256;

// What the protocol reads of the operator's settings, on every report. The
// program points it at its settings record, so that a pointer selected in the
// dialog counts from the next report on; nothing is copied to keep in step.
struct PointerProtocolOptions {
  const std::atomic<int>& selectedPointer;  // changed by the dialog while reports come in
  const int& logLevel;                      // set before the server starts
};

// One object for the program, shared by the server's client threads and the
// dialog. Every table access runs under its ProtocolLock; decoding and
// logging stay outside it.
class PointerProtocol : public PointerReportHandler {
 public:
  using TickSource = std::function<std::uint32_t()>;

  PointerProtocol(PointerProtocolOptions options, DiagnosticLog& log, TickSource tickCount);

  // The channel that fresh reports go to and commands come from; null or a
  // closed channel means reports are answered but forwarded nowhere.
  void AttachChannel(SharedMemoryChannel* channel);
  // What every report is told to, and the selected pointer's silence: the
  // cursor decides what it follows. Null: nothing. It must outlive every
  // report handled while it is attached.
  void AttachCursor(CursorControl* cursor);

  ResponseText HandlePointerReport(std::string_view routingPath,
                                   std::uint32_t peerAddress) override;
  // Like a single report, but a repeat of a frame this phone sent lately is
  // not forwarded again, and an unanswered one chooses no packet.
  ResponseText HandleBatchedReport(std::string_view routingPath, std::uint32_t peerAddress,
                                   bool answered) override;
  // A report whose sender's address is not known.
  ResponseText HandlePointerReport(std::string_view routingPath) {
    return HandlePointerReport(routingPath, 0);
  }

  // Queues a command for the selected pointer, replacing one not yet taken.
  void QueueVibrateCommand(std::int32_t code);

  // The names that go when their number passes to another phone; null: none.
  // Set before reports come in.
  void AttachNames(PointerNames* names) { names_ = names; }
  // True when the phone at peerAddress holds the pointer's number: it
  // reported on it first and has not left it to another phone since.
  bool Holds(int pointer, std::uint32_t peerAddress);
  // The next answer to the pointer's phone tells it once that its number
  // was freed (kNumberFreedCode), and the number is anybody's from then.
  // Only the phone that held it then is told: not one that takes the
  // number after that phone has gone.
  void FreeNumber(int pointer);
  // Which pointers have sent no report for more than silenceMs before now.
  PerPointer<bool> SilentLongerThan(std::uint32_t now, std::uint32_t silenceMs);

  // At every server start: no command queued, none in flight.
  void ResetForServerStart();
  // At program start: every pointer silent as of now.
  void MarkAllSilent();
  // One timer tick's silence check: pointers silent for more than kSilenceMs
  // drop their awaited echo at the next report, and a silent selected
  // pointer is shown off screen; the cursor hears when it falls silent.
  // True when the selected pointer is silent.
  bool MarkSilentPointers(std::uint32_t now);

  LiveStatus ReadLiveStatus();
  // The pointers that reported within the last kSilenceMs, in number order.
  std::vector<ReportingPointer> ReadReportingPointers();
  bool HasReportedLately(int pointer);
  // Every pointer's last report, copied under the lock into sightings.
  void ReadPointerSightings(PointerSightings& sightings);
  // Copies of the tables, for tests and diagnostics.
  PointerProtocolState ReadState();

 private:
  struct Outcome {
    ResponseText response = kNoCommandResponse;
    bool forwarded = false;
    bool sentCommand = false;
    bool ackAwaited = false;
    // What the channel found wrong while this report used it; a report
    // touches at most two FIFOs, besides the area being cut short.
    std::array<ChannelNotice, 3> notices{};
    int noticeCount = 0;
    // The number left its phone (to another, or freed): that phone's name goes.
    bool nameGoes = false;
    // Two phones seen on this report's pointer, to be logged: their addresses.
    bool twoPhones = false;
    int pointer = 0;
    std::uint32_t addresses[2] = {};
    // What the cursor follows, once the lock is free.
    CursorControl* cursor = nullptr;
    CursorTarget cursorTarget;
  };

  // How a report came: whether the phone gets its answer, and whether it may
  // be a repeat (a batch sent again).
  struct Route {
    bool answered = true;
    bool batched = false;
  };

  ResponseText Handle(std::string_view routingPath, std::uint32_t peerAddress, Route route);
  Outcome Apply(const PointerReport& report, std::uint32_t now, std::uint32_t peerAddress,
                Route route);
  bool IsRepeat(std::size_t p, std::uint32_t frame, std::uint32_t peerAddress,
                std::uint32_t now) const;
  void Forward(const PointerReport& report);
  std::int32_t TakeNextCommand(int pointer);
  void NoteShownForNewPage(std::size_t p, std::int32_t ackPacket, std::uint32_t now);
  void KeepShown(std::size_t p, std::int32_t code);
  bool HasChannel() const;
  void TakeChannelNotices(Outcome& outcome, std::uint32_t now);
  bool ReportedLately(std::size_t p, std::uint32_t now) const;
  void LogReport(const PointerReport& report);
  void LogOutcome(const Outcome& outcome);

  const PointerProtocolOptions options_;
  DiagnosticLog& log_;
  TickSource tickCount_;
  SharedMemoryChannel* channel_ = nullptr;
  CursorControl* cursor_ = nullptr;

  std::mutex protocolLock_;  // the ProtocolLock
  PointerProtocolState state_;
  LiveStatus liveStatus_;
  PerPointer<LiveStatus> lastReports_{};  // every pointer's, for the operator's overview
  PerPointer<bool> reportedSinceStart_{};
  PerPointer<bool> freeOwed_{};  // the phone is to hear that its number was freed
  PerPointer<std::uint32_t> freedHolder_{};  // that phone's address
  PointerPeers peers_;
  PointerNames* names_ = nullptr;
};
