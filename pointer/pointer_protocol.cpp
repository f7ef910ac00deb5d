#include "pointer/pointer_protocol.h"

#include <cstdio>
#include <utility>

#include "common/client_address.h"
#include "common/diagnostic_log.h"

namespace {

// Where freshness is decided: a report is fresh unless its frame is 0.
// Nothing more is asked of a phone's frame count on the single route: a
// phone whose page starts counting again keeps reporting. Batches are also
// checked for repeats (IsRepeat).
bool IsFresh(const PointerReport& report) {
  return report.frame != 0;
}

ResponseText MakeResponse(std::int32_t packetNumber, std::int32_t command) {
  ResponseText response;
  AppendHexByte(AppendHexByte(response.data(), static_cast<std::uint32_t>(packetNumber)),
                static_cast<std::uint32_t>(command));
  return response;
}

}  // namespace

PointerProtocol::PointerProtocol(PointerProtocolOptions options, DiagnosticLog& log,
                                 TickSource tickCount)
    : options_(options), log_(log), tickCount_(std::move(tickCount)) {}

void PointerProtocol::AttachChannel(SharedMemoryChannel* channel) {
  std::lock_guard guard(protocolLock_);
  channel_ = channel;
}

void PointerProtocol::AttachCursor(CursorControl* cursor) {
  std::lock_guard guard(protocolLock_);
  cursor_ = cursor;
}

ResponseText PointerProtocol::HandlePointerReport(std::string_view routingPath,
                                                  std::uint32_t peerAddress) {
  return Handle(routingPath, peerAddress, Route{});
}

ResponseText PointerProtocol::HandleBatchedReport(std::string_view routingPath,
                                                  std::uint32_t peerAddress, bool answered) {
  return Handle(routingPath, peerAddress, Route{answered, true});
}

ResponseText PointerProtocol::Handle(std::string_view routingPath, std::uint32_t peerAddress,
                                     Route route) {
  PointerReport report;
  const bool accepted = DecodePointerReport(routingPath, report);
  LogReport(report);  // refused reports too: the trace shows what came in
  if (!accepted) return kNoCommandResponse;

  const Outcome outcome = Apply(report, tickCount_(), peerAddress, route);
  if (outcome.nameGoes && names_ != nullptr) names_->Clear(static_cast<int>(report.pointer));
  // The cursor moves before the log is written, with the lock released.
  if (outcome.cursor != nullptr) outcome.cursor->Follow(outcome.cursorTarget);
  LogOutcome(outcome);
  return outcome.response;
}

PointerProtocol::Outcome PointerProtocol::Apply(const PointerReport& report, std::uint32_t now,
                                                std::uint32_t peerAddress, Route route) {
  const auto p = static_cast<std::size_t>(report.pointer);
  const auto ackPacket = static_cast<std::int32_t>(report.ackPacket);
  Outcome outcome;

  std::lock_guard guard(protocolLock_);
  const std::uint32_t holderBefore = peers_.Holder(p);
  const PointerPeers::Verdict peer = peers_.Note(p, peerAddress, now);
  outcome.nameGoes = holderBefore != 0 && peers_.Holder(p) != holderBefore;
  if (peer.tell) {
    outcome.twoPhones = true;
    outcome.pointer = static_cast<int>(p);
    outcome.addresses[0] = peers_.Holder(p);
    outcome.addresses[1] = peerAddress;
  }
  // Every fresh report reaches the application, a second phone's too.
  const bool fresh =
      IsFresh(report) && !(route.batched && IsRepeat(p, report.frame, peerAddress, now));
  if (fresh) {
    Forward(report);
    outcome.forwarded = true;
    state_.lastFrame[p] = static_cast<std::uint16_t>(report.frame);
    state_.lastFramePeer[p] = peerAddress;
    state_.lastFrameKept[p] = true;
  }
  // A second phone on the number moves nothing, takes no command and echoes
  // none; it hears that it is second, and its page asks for another number.
  if (peer.second) {
    outcome.response = MakeResponse(state_.packetNumber[p], kAnotherPhoneCode);
    TakeChannelNotices(outcome, now);
    return outcome;
  }

  // Only the phone that held a freed number hears of it. One that took the
  // number after it (the freed phone had gone), or that reports on a number
  // nobody held when it was freed, has just picked it.
  if (freeOwed_[p] && peerAddress != freedHolder_[p]) freeOwed_[p] = false;
  // A freed number: its phone hears so once, in place of any command, and
  // the number waits for whichever phone reports on it next. A name the
  // phone sent after the teacher freed the number goes with it.
  if (freeOwed_[p] && route.answered) {
    freeOwed_[p] = false;
    peers_.Forget(p);
    outcome.nameGoes = true;
    outcome.response = MakeResponse(state_.packetNumber[p], kNumberFreedCode);
    TakeChannelNotices(outcome, now);
    return outcome;
  }

  NoteShownForNewPage(p, ackPacket, now);
  if (ackPacket == state_.pendingAck[p]) state_.pendingAck[p] = 0;
  outcome.response = MakeResponse(state_.packetNumber[p], state_.currentCommand[p]);

  state_.lastReportTick[p] = now;
  if (state_.resetRequest[p] == 1) {
    state_.resetRequest[p] = 0;
    state_.pendingAck[p] = 0;
  }

  if (fresh) {
    if (state_.pendingAck[p] != 0) {
      outcome.ackAwaited = true;
    } else if (route.answered) {
      // Only an answer the phone gets may choose a packet: one chosen for an
      // unseen answer is lost when it awaits no echo (packet 00) and the
      // next report chooses again.
      outcome.sentCommand = true;
      const std::int32_t code = TakeNextCommand(static_cast<int>(p));
      KeepShown(p, code);
      if (code != 0 && ++state_.packetNumber[p] > 255) state_.packetNumber[p] = 0;
      state_.currentCommand[p] = code;
      state_.pendingAck[p] = state_.packetNumber[p];
      outcome.response = MakeResponse(state_.packetNumber[p], code);
    }
  }

  reportedSinceStart_[p] = true;
  LiveStatus& last = lastReports_[p];
  last.x = static_cast<std::int32_t>(report.x);
  last.y = static_cast<std::int32_t>(report.y);
  last.buttonL = static_cast<std::int32_t>(report.buttonL);
  last.buttonR = static_cast<std::int32_t>(report.buttonR);
  last.offScreen = report.ackMode == 0 || report.ackMode == 1 ? 1 : 0;
  // The selection is read once: the live status and the cursor agree.
  const bool selected = static_cast<int>(p) == options_.selectedPointer;
  if (selected) liveStatus_ = last;
  if (cursor_ != nullptr) {
    outcome.cursor = cursor_;
    outcome.cursorTarget = cursor_->Aim(static_cast<int>(p), last, fresh, selected, now);
  }
  TakeChannelNotices(outcome, now);
  return outcome;
}

// A phone whose batch got no answer sends it again with the same frames: the
// reports of it that came through are not forwarded twice. Only batches are
// looked at, so the single route stays as it always was: its reports are
// fresh whatever their frame, other than 0.
bool PointerProtocol::IsRepeat(std::size_t p, std::uint32_t frame, std::uint32_t peerAddress,
                               std::uint32_t now) const {
  if (!state_.lastFrameKept[p] || state_.lastFramePeer[p] != peerAddress) return false;
  if (now - state_.lastReportTick[p] > kShownKeptMs) return false;
  const auto behind = static_cast<std::uint16_t>(state_.lastFrame[p] - frame);
  return behind < kRepeatWindow;
}

void PointerProtocol::TakeChannelNotices(Outcome& outcome, std::uint32_t now) {
  if (channel_ == nullptr) return;
  while (outcome.noticeCount < static_cast<int>(outcome.notices.size())) {
    const ChannelNotice notice = channel_->TakeNotice(now);
    if (notice.kind == ChannelNotice::Kind::kNone) return;
    outcome.notices[static_cast<std::size_t>(outcome.noticeCount++)] = notice;
  }
}

void PointerProtocol::Forward(const PointerReport& report) {
  if (!HasChannel()) return;
  PointerReportRecord record{};
  record.screen = report.screen;
  record.frame = report.frame;
  record.pointer = report.pointer;
  record.x = report.x;
  record.y = report.y;
  record.flags =
      PointerReportFlags(static_cast<int>(report.buttonL), static_cast<int>(report.buttonR),
                         static_cast<int>(report.ackMode));
  channel_->PutPointerReport(record);  // a full FIFO drops the report
}

// What a pointer shows outlives its page: a page that loads again (the phone
// reloaded it, the browser dropped it during an outage, another number was
// picked) starts blank, so the server sends it the last show code again. Such
// a page is known by what it echoes: it has run no packet yet and echoes 0,
// while a page that has run one echoes that packet's number. So a report that
// echoes 0 on a pointer whose packets have started means a new page; the page
// needs no word of its own. Packet numbers that wrapped to 0 hide a new page
// until the next command. A pointer silent for more than kShownKeptMs has
// left and shows nothing any more.
void PointerProtocol::NoteShownForNewPage(std::size_t p, std::int32_t ackPacket,
                                          std::uint32_t now) {
  const auto silence = static_cast<std::int32_t>(now - state_.lastReportTick[p]);
  if (silence > static_cast<std::int32_t>(kShownKeptMs)) {
    state_.shownCode[p] = 0;
    state_.shownOwed[p] = false;
  }
  if (ackPacket != 0 || state_.packetNumber[p] == 0 || state_.shownCode[p] == 0) return;
  // The code itself on its way reaches the new page by the packet's repeats.
  const bool inFlight =
      state_.pendingAck[p] != 0 && state_.currentCommand[p] == state_.shownCode[p];
  if (!inFlight) state_.shownOwed[p] = true;
}

void PointerProtocol::KeepShown(std::size_t p, std::int32_t code) {
  if (code == kShowClearCode) state_.shownCode[p] = 0;
  if (IsShowCode(code)) state_.shownCode[p] = static_cast<std::uint8_t>(code);
}

// A new page's show code goes first: whatever waits was sent after it. Then
// the consuming application's commands go before a Vibrate button's.
std::int32_t PointerProtocol::TakeNextCommand(int pointer) {
  const auto p = static_cast<std::size_t>(pointer);
  if (state_.shownOwed[p]) {
    state_.shownOwed[p] = false;
    return state_.shownCode[p];
  }
  if (HasChannel() && !channel_->IsCommandFifoEmpty(pointer)) {
    CommandRecord command{};
    // The reserved codes from an application would tell this phone that it
    // is the second on its number, or that it was freed: they carry nothing.
    if (channel_->GetCommand(pointer, command)) {
      const auto code = static_cast<std::int32_t>(command.command & 0xFF);
      return code == kAnotherPhoneCode || code == kNumberFreedCode ? 0 : code;
    }
  }
  const std::int32_t code = state_.requestedCommand[p] & 0xFF;
  state_.requestedCommand[p] = 0;
  return code;
}

// A closed channel has no area: nothing may reach its FIFO operations.
bool PointerProtocol::HasChannel() const {
  return channel_ != nullptr && channel_->GetHeader() != nullptr;
}

void PointerProtocol::QueueVibrateCommand(std::int32_t code) {
  const int selected = options_.selectedPointer;
  if (!IsValidPointer(selected)) return;
  std::lock_guard guard(protocolLock_);
  state_.requestedCommand[static_cast<std::size_t>(selected)] = code;
}

bool PointerProtocol::Holds(int pointer, std::uint32_t peerAddress) {
  if (!IsValidPointer(pointer) || peerAddress == 0) return false;
  std::lock_guard guard(protocolLock_);
  return peers_.Holder(static_cast<std::size_t>(pointer)) == peerAddress;
}

void PointerProtocol::FreeNumber(int pointer) {
  if (!IsValidPointer(pointer)) return;
  const auto p = static_cast<std::size_t>(pointer);
  std::lock_guard guard(protocolLock_);
  freeOwed_[p] = true;
  freedHolder_[p] = peers_.Holder(p);
}

PerPointer<bool> PointerProtocol::SilentLongerThan(std::uint32_t now, std::uint32_t silenceMs) {
  PerPointer<bool> silent{};
  std::lock_guard guard(protocolLock_);
  for (std::size_t p = 0; p < silent.size(); ++p) {
    // A report stamped after now, by a thread that read the tick first, is no silence.
    const auto age = static_cast<std::int32_t>(now - state_.lastReportTick[p]);
    silent[p] = age > static_cast<std::int64_t>(silenceMs);
  }
  return silent;
}

void PointerProtocol::ResetForServerStart() {
  std::lock_guard guard(protocolLock_);
  state_.requestedCommand.fill(0);
  state_.currentCommand.fill(0);
  state_.packetNumber.fill(0);
  state_.pendingAck.fill(0);
  state_.shownCode.fill(0);
  state_.shownOwed.fill(false);
  state_.lastFrameKept.fill(false);
  freeOwed_.fill(false);
}

void PointerProtocol::MarkAllSilent() {
  const std::uint32_t now = tickCount_();
  std::lock_guard guard(protocolLock_);
  state_.resetRequest.fill(1);
  state_.lastReportTick.fill(now);
  reportedSinceStart_.fill(false);
}

bool PointerProtocol::MarkSilentPointers(std::uint32_t now) {
  const int selected = options_.selectedPointer;
  bool selectedSilent = false;
  bool fellSilent = false;
  CursorControl* cursor = nullptr;
  {
    std::lock_guard guard(protocolLock_);
    cursor = cursor_;
    for (int i = 0; i < kPointerCount; ++i) {
      const auto p = static_cast<std::size_t>(i);
      // The tick reads now before it takes the lock, so a report may be stamped
      // a moment later; such a report is newer than now, not 49 days old.
      const auto age = static_cast<std::int32_t>(now - state_.lastReportTick[p]);
      if (age <= static_cast<std::int32_t>(kSilenceMs)) continue;
      if (i == selected) {
        liveStatus_.offScreen = 1;
        selectedSilent = true;
        fellSilent = state_.resetRequest[p] == 0;
      }
      state_.resetRequest[p] = 1;
    }
  }
  if (fellSilent && cursor != nullptr) cursor->FellSilent(selected);
  return selectedSilent;
}

LiveStatus PointerProtocol::ReadLiveStatus() {
  std::lock_guard guard(protocolLock_);
  return liveStatus_;
}

std::vector<ReportingPointer> PointerProtocol::ReadReportingPointers() {
  std::vector<ReportingPointer> reporting;
  std::lock_guard guard(protocolLock_);
  const std::uint32_t now = tickCount_();
  for (std::size_t p = 0; p < lastReports_.size(); ++p) {
    if (ReportedLately(p, now)) {
      reporting.push_back({static_cast<int>(p), lastReports_[p], peers_.TwoPhones(p, now)});
    }
  }
  return reporting;
}

void PointerProtocol::ReadPointerSightings(PointerSightings& sightings) {
  std::lock_guard guard(protocolLock_);
  const std::uint32_t now = tickCount_();
  sightings.now = now;
  for (std::size_t p = 0; p < sightings.pointers.size(); ++p) {
    PointerSighting& sighting = sightings.pointers[p];
    sighting.status = lastReports_[p];
    sighting.lastReportTick = state_.lastReportTick[p];
    sighting.reported = reportedSinceStart_[p];
    sighting.twoPhones = sighting.reported && peers_.TwoPhones(p, now);
  }
}

bool PointerProtocol::HasReportedLately(int pointer) {
  if (!IsValidPointer(pointer)) return false;
  std::lock_guard guard(protocolLock_);
  return ReportedLately(static_cast<std::size_t>(pointer), tickCount_());
}

// The time is read under the lock, so that no report can be stamped after it.
// A pointer marked silent (also every pointer at program start) has not
// reported since, whatever its tick says.
bool PointerProtocol::ReportedLately(std::size_t p, std::uint32_t now) const {
  return state_.resetRequest[p] == 0 && now - state_.lastReportTick[p] <= kSilenceMs;
}

PointerProtocolState PointerProtocol::ReadState() {
  std::lock_guard guard(protocolLock_);
  return state_;
}

void PointerProtocol::LogReport(const PointerReport& report) {
  if (options_.logLevel < 3) return;
  char line[200];
  std::snprintf(line, sizeof line,
                "Layout: %1u Screen: %02u Pointer: %02u Frame: %04X X: %05u Y: %05u ButtonL: %1u "
                "ButtonR: %1u AckMode: %02u AckPacket: %02u",
                report.layout, report.screen, report.pointer, report.frame, report.x, report.y,
                report.buttonL, report.buttonR, report.ackMode, report.ackPacket);
  log_.WriteLogLine("Extracting data from Tolvex GET request");
  log_.WriteLogLine(line);
}

void PointerProtocol::LogOutcome(const Outcome& outcome) {
  // Why forwarding stopped matters at every log level.
  for (int i = 0; i < outcome.noticeCount; ++i) {
    char line[160];
    const std::size_t length =
        FormatChannelNotice(outcome.notices[static_cast<std::size_t>(i)], line, sizeof line);
    log_.WriteLogLine(std::string_view(line, length));
  }
  if (outcome.twoPhones) {
    char first[16];
    char second[16];
    ClientAddress::FromPacked(outcome.addresses[0]).Format(first);
    ClientAddress::FromPacked(outcome.addresses[1]).Format(second);
    char line[160];
    std::snprintf(line, sizeof line,
                  "Pointer %02d reported from two addresses within a second (%s, %s): two "
                  "phones on one number?",
                  outcome.pointer, first, second);
    log_.WriteLogLine(line);
  }
  if (options_.logLevel < 4) return;
  if (outcome.forwarded) log_.WriteLogLine("Data written to the FIFO");
  if (outcome.sentCommand) log_.WriteLogLine("Sending Command");
  if (outcome.ackAwaited) log_.WriteLogLine("ACK not yet received");
}
