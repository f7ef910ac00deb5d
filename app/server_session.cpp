#include "app/server_session.h"

#include <cstdio>
#include <cstdlib>

#include "common/access_key.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "platform/shared_memory.h"
#include "platform/socket.h"
#include "pointer/rendezvous_file.h"

ServerSession::ServerSession(Application& app, MouseAndKeys& input)
    : app_(app),
      input_(input),
      heldButtons_(app.paths.heldButtonsFile, platform::ProcessId(), platform::IsProcessRunning),
      cursor_(input, app.settings.selectedPointer, platform::TickCount,
              [this](unsigned held) { heldButtons_.Record(held); }) {
  app_.server.SetListener([this](const ErrorLogLine& line) {
    if (platform::IsAddressInUse(line.code)) addressInUse_ = true;
    if (const SessionEvents* events = events_) events->engineErrorLine(line.text);
  });
  app_.protocol.AttachCursor(&cursor_);
}

// The cursor lets go of the buttons as it goes, right after this, and the
// held buttons' file goes with them; it stays when no display took the release.
ServerSession::~ServerSession() {
  StopPublishingNames();
  app_.protocol.AttachCursor(nullptr);
  app_.server.SetListener(nullptr);
}

void ServerSession::SetEvents(const SessionEvents* events) {
  events_ = events;
}

void ServerSession::Notice(const std::string& text) {
  if (const SessionEvents* events = events_) events->notice(text);
}

OpenOutcome ServerSession::Open(std::string& why) {
  // A second copy must not touch the running one's files, its log first.
  if (platform::SharedMemory::IsClaimedByRunningCreator(app_.channel.CreationName())) {
    why = RunningServerText();
    return OpenOutcome::kAlreadyRunning;
  }
  ReadIni(app_.settings, app_.paths.iniFile, app_.log);
  StartLog();
  ReleaseButtonsLeftHeld();
  if (!CreateSharedMemory()) {
    app_.log.WriteLogLine("Can not create the TVXHDV shared memory!");
    // Why, in the channel's words: a name taken by another program, say.
    why = app_.channel.GetLastErrorText();
    app_.log.WriteLogLine(why);
    return OpenOutcome::kNoArea;
  }
  ReadProfile(app_.settings, app_.profileFile);
  app_.protocol.MarkAllSilent();
  return OpenOutcome::kOpened;
}

// Every run starts a fresh log.
void ServerSession::StartLog() {
  // A log that cannot be removed is written on: its lines still go in.
  static_cast<void>(platform::RemoveFile(app_.paths.logFile));
  app_.log.WriteLogLine("TVXHandvane started");
  if (const std::uint64_t openFileLimit = platform::RaiseOpenFileLimit()) {
    char limitLine[64];
    std::snprintf(limitLine, sizeof limitLine, "Open file limit: %llu",
                  static_cast<unsigned long long>(openFileLimit));
    app_.log.WriteLogLine(limitLine);
  }
  app_.log.WriteLogLine(app_.settings.serverRoot);
  app_.log.WriteLogLine(app_.settings.sharedMemoryFolder);
}

// A copy that died while a phone held a button left it down: the system
// keeps it so until someone lets go.
void ServerSession::ReleaseButtonsLeftHeld() {
  const std::optional<std::string> released = heldButtons_.ReleaseLeftOver(input_);
  if (!released) return;
  app_.log.WriteLogLine(*released);
  Notice(*released);
}

// "TVXHandvane already runs (process N) ...", the process as its rendezvous
// file names it; read without the log, which belongs to the running copy.
std::string ServerSession::RunningServerText() {
  Settings settings;
  DiagnosticLog nowhere;
  ReadIni(settings, app_.paths.iniFile, nowhere);
  RendezvousFile rendezvous;
  rendezvous.SetFolder(settings.sharedMemoryFolder);
  // Written as eight hexadecimal digits.
  const std::string written =
      platform::ProfileReadString(rendezvous.Path(), "Memory", "CreatorProcessID", "", 16);
  const unsigned long process = std::strtoul(written.c_str(), nullptr, 16);
  std::string text = app_.paths.title + " already runs";
  if (process > 0) text += " (process " + std::to_string(process) + ")";
  return text + ": use that one, or end it before starting another.";
}

bool ServerSession::CreateSharedMemory() {
  std::uint32_t structVersion = 0;
  int created = 0;
  if (!app_.channel.SharedMemoryInit(1, app_.settings.sharedMemoryFolder, structVersion, created)) {
    return false;
  }
  const platform::ProgramVersion& v = app_.version;
  const std::uint32_t packed =
      ComposeVersionWebServerService(v.major, v.minor, v.buildHigh, v.buildLow);
  app_.channel.GetHeader()->versionWebServerService = packed;
  char line[96];
  std::snprintf(line, sizeof line, "StructVersion: %08X VersionWebServerService: %08X",
                structVersion, packed);
  app_.log.WriteLogLine(line);
  // A failed publish closes the channel itself.
  rendezvousPublished_ = app_.channel.SharedMemoryInitComplete() == 1;
  PublishNamesToArea();
  return true;
}

// A key made here is known to this run alone: the key file lets Codeplate
// put it into the codes. Any older key file goes, so that no code is made
// with a key no server asks for.
void ServerSession::ChooseAccessKey() {
  const std::string& setting = app_.settings.accessKey;
  static_cast<void>(platform::RemoveFile(app_.paths.keyFile));  // absent as a rule
  if (!IsAccessKeyMadeAtStart(setting)) {
    app_.server.SetAccessKey(setting);
    return;
  }
  const std::optional<std::string> key = NewRandomAccessKey();
  if (!key) {
    keyUnavailable_ = true;
    return;
  }
  app_.server.SetAccessKey(*key);
  if (!IsAutoAccessKey(setting)) {
    Notice("AccessKey under [Control] in " + app_.paths.iniFile +
           " may hold only letters, digits, \".\", \"_\", \"~\" and \"-\" (at most 128); a new "
           "key is made at every start instead, as with AccessKey=auto.");
  }
  const PublishedAccessKey published{*key, platform::ProcessId(), app_.channel.GetMappingName()};
  if (const platform::Result written = PublishAccessKey(app_.paths.keyFile, published)) {
    keyPublished_ = true;
  } else {
    Notice("The access key could not be written to " + app_.paths.keyFile + ": " +
           platform::FailureText(written) + "; Codeplate cannot put it into its codes.");
  }
}

// A failed load keeps the page served so far. The page's texts load with it:
// without them phones read English.
std::optional<std::size_t> ServerSession::ReloadPage() {
  const std::string& language = app_.settings.pageLanguage;
  if (ReReadPageTexts(app_.pageTexts, app_.paths.pageTextsFile, language, app_.log) == 0) {
    Notice("The page's texts could not be loaded from " + app_.paths.pageTextsFile +
           "; phones read the page in English.");
  } else if (!language.empty() && !app_.pageTexts.Snapshot()->fixed) {
    Notice("PageLanguage=" + language + " under [Control] in " + app_.paths.iniFile +
           " names no language of " + app_.paths.pageTextsFile +
           "; each phone reads the page in its own language.");
  }
  if (ReReadFiles(app_.indexPage, app_.paths.indexPageFile, app_.log) == 0) return std::nullopt;
  const auto page = app_.indexPage.Current();
  return page ? page->size() : 0;
}

StartOutcome ServerSession::StartServer() {
  // Without the key it asked for the class would be open to everyone.
  if (keyUnavailable_) return StartOutcome::kNoAccessKey;
  addressInUse_ = false;
  const ServerFields& fields = app_.settings.fields;
  nameSilenceMs_ =
      static_cast<std::uint32_t>(PersistenceTimeoutMs(fields.persistenceTimeoutSeconds));
  if (app_.server.StartServer(app_.settings.serverRoot, fields.defaultIndexFile, fields.port,
                              PersistenceTimeoutMs(fields.persistenceTimeoutSeconds)) != 0) {
    return StartOutcome::kRunning;
  }
  return addressInUse_ ? StartOutcome::kPortInUse : StartOutcome::kFailed;
}

// The phones send their names again when they find the server back.
void ServerSession::StopServer() {
  app_.server.Shutdown();
  app_.names.ClearAll();
}

void ServerSession::PublishNamesToArea() {
  app_.names.SetListener(
      [this](int pointer, std::string_view name) { app_.channel.PublishName(pointer, name); });
}

bool ServerSession::MarkSilentPointers(std::uint32_t now) {
  const bool selectedSilent = app_.protocol.MarkSilentPointers(now);
  if (const std::uint32_t silenceMs = nameSilenceMs_; silenceMs != 0) {
    const PerPointer<bool> silent = app_.protocol.SilentLongerThan(now, silenceMs);
    for (int pointer = 0; pointer < kPointerCount; ++pointer) {
      if (silent[static_cast<std::size_t>(pointer)]) app_.names.Clear(pointer);
    }
  }
  return selectedSilent;
}

void ServerSession::FreeNumber(int pointer) {
  if (!IsValidPointer(pointer)) return;
  app_.protocol.FreeNumber(pointer);
  app_.names.Clear(pointer);
  char line[64];
  std::snprintf(line, sizeof line, "Number %d freed by the teacher.", pointer);
  app_.log.WriteLogLine(line);
}

PointerNames::Refusal ServerSession::RenamePointer(int pointer, std::string_view name) {
  const PointerNames::Refusal refusal = app_.names.Set(pointer, name);
  if (refusal != PointerNames::Refusal::kNone) return refusal;
  char line[64];
  std::snprintf(line, sizeof line, "Pointer %d renamed by the teacher.", pointer);
  app_.log.WriteLogLine(line);
  return refusal;
}

// Another process can remove the area's name (logind does when the user
// logs out): consumers could not find the area any more, and a second
// server could make one of its own. A new area is made and published.
// An area cut short by another process forwards nothing any more: it is
// made anew the same way.
void ServerSession::KeepAreaPublished() {
  const bool cutShort = app_.channel.AreaCutShort();
  if (app_.channel.GetHeader() == nullptr || (!cutShort && app_.channel.AreaStillNamed())) return;
  const char* why =
      cutShort ? "The TVXHDV shared memory was cut short by another process: a new one is made"
               : "The TVXHDV shared memory was removed by another process: a new one is made";
  app_.log.WriteLogLine(why);
  Notice(why);
  app_.protocol.AttachChannel(nullptr);  // no client thread is in the channel from here on
  StopPublishingNames();
  rendezvousPublished_ = false;
  const bool made = CreateSharedMemory();
  app_.protocol.AttachChannel(&app_.channel);
  if (!made) {
    app_.log.WriteLogLine("Can not create the TVXHDV shared memory!");
    app_.log.WriteLogLine(app_.channel.GetLastErrorText());
    Notice("Can not create the TVXHDV shared memory! " + app_.channel.GetLastErrorText());
  }
}

void ServerSession::Close(bool sessionEnds) {
  StopPublishingNames();
  app_.channel.SharedMemoryClose();
  // The program ends: nobody is left to hear of a file that stays.
  if (keyPublished_) static_cast<void>(platform::RemoveFile(app_.paths.keyFile));
  keyPublished_ = false;
  if (sessionEnds && rendezvousPublished_) {
    static_cast<void>(platform::RemoveFile(app_.channel.GetRendezvousFilePath()));
  }
  if (sessionEnds) rendezvousPublished_ = false;
}

std::optional<SettingsWriteFailure> ServerSession::SaveSettings(
    const std::optional<WindowPlacementBytes>& placement) {
  return ::SaveSettings(app_.settingsFiles(), app_.settings.fields, placement);
}

platform::Result ServerSession::StoreSelectedPointer(int pointer) {
  return ::StoreSelectedPointer(pointer, app_.paths.iniFile);
}

platform::Result ServerSession::StorePointerLabels(PointerLabels labels) {
  return ::StorePointerLabels(labels, app_.paths.iniFile);
}

platform::Result ServerSession::StoreShowPointers(bool on) {
  return ::StoreShowPointers(on, app_.paths.iniFile);
}

platform::Result ServerSession::StoreCursorScreen(const std::string& choice) {
  return ::StoreCursorScreen(choice, app_.paths.iniFile);
}
