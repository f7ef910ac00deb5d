#include "app/main_dialog.h"

#include <cstdio>
#include <cstdlib>
#include <optional>

#include "app/application.h"
#include "app/phone_addresses.h"
#include "common/access_key.h"
#include "common/ini_values.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "platform/shared_memory.h"
#include "platform/socket.h"
#include "pointer/rendezvous_file.h"
#include "pointer/vibrations.h"

namespace {

constexpr const char* kSevereErrorCaption = "TVXHandvane severe error";

std::string TwoDigits(int number) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d", number);
  return text;
}

}  // namespace

MainDialog::MainDialog(Application& app, DialogView& view, MouseAndKeys& mouse)
    : app_(app),
      view_(view),
      mouse_(mouse),
      cursorEmulation_(mouse, app.settings.cursorEmulation),
      pointerStatus_(app.protocol),
      statistics_(app.server),
      tick_(TimerTickWiring{platform::TickCount, mouse, pointerStatus_, statistics_,
                            app.settings.cursorEmulation, state_}) {
  app_.server.SetListener([this](const ErrorLogLine& line) { OnErrorLogLine(line); });
  app_.protocol.AttachCursorFollower(&cursorEmulation_);
}

// The owner has stopped the server by now, so no engine thread can be
// calling the listener or handing a report to the emulation.
MainDialog::~MainDialog() {
  app_.protocol.AttachCursorFollower(nullptr);
  app_.server.SetListener(nullptr);
}

bool MainDialog::OnInitDialog() {
  PushFieldsToControls();
  // A second copy must not touch the running one's files, its log first.
  if (platform::SharedMemory::IsClaimedByRunningCreator(app_.channel.CreationName())) {
    const std::string running = RunningServerText();
    view_.ShowNotice("The TVXHDV shared memory belongs to a running server: " + running);
    view_.ShowMessageBox("Can not create the TVXHDV shared memory!\n" + running,
                         kSevereErrorCaption);
    OnCancel();
    return false;
  }

  ReadIni(app_.settings, app_.paths.iniFile, app_.log);
  if (app_.settings.windowPlacement) view_.ApplyPlacement(*app_.settings.windowPlacement);
  platform::RemoveFile(app_.paths.logFile);  // every run starts a fresh log
  app_.log.WriteLogLine("TVXHandvane started");
  if (const std::uint64_t openFileLimit = platform::RaiseOpenFileLimit()) {
    char limitLine[64];
    std::snprintf(limitLine, sizeof limitLine, "Open file limit: %llu",
                  static_cast<unsigned long long>(openFileLimit));
    app_.log.WriteLogLine(limitLine);
  }
  app_.log.WriteLogLine(app_.settings.serverRoot);
  app_.log.WriteLogLine(app_.settings.sharedMemoryFolder);

  if (!CreateSharedMemory()) {
    app_.log.WriteLogLine("Can not create the TVXHDV shared memory!");
    // Why, in the channel's words: a name taken by another program, say.
    app_.log.WriteLogLine(app_.channel.GetLastErrorText());
    view_.ShowNotice(app_.channel.GetLastErrorText());
    view_.ShowMessageBox("Can not create the TVXHDV shared memory!", kSevereErrorCaption);
    OnCancel();
    return false;
  }

  int width = 0;
  int height = 0;
  view_.ScreenSize(width, height);
  char line[64];
  std::snprintf(line, sizeof line, "ScreenWidth %d ScreenHeight %d", width, height);
  app_.log.WriteLogLine(line);

  cursorScreen_ = ParseCursorScreen(app_.settings.cursorScreen).value_or(CursorScreen{});
  state_.cursorScreen = CursorScreenText(cursorScreen_);
  ApplyCursorScreen();

  app_.protocol.MarkAllSilent();
  state_.live.offScreen = true;
  state_.fields.port = app_.settings.port;
  state_.selectedPointer = app_.settings.selectedPointer;
  state_.showPointers = app_.settings.showPointers && view_.CanShowPointerOverlay();
  Render();
  LoadPage();
  state_.running = false;
  LoadDialogSettings(app_.settings, app_.settingsFiles(), *this);
  settingsLoaded_ = true;
  state_.fields.homeDirectory = app_.settings.serverRoot;
  ChooseAccessKey();
  Start();
  return true;
}

// "TVXHandvane already runs (process N) ...", the process as its rendezvous
// file names it; read without the log, which belongs to the running copy.
std::string MainDialog::RunningServerText() {
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

// A key made here is known to this run alone: the key file lets Codeplate
// put it into the codes. Any older key file goes, so that no code is made
// with a key no server asks for.
void MainDialog::ChooseAccessKey() {
  const std::string& setting = app_.settings.accessKey;
  platform::RemoveFile(app_.paths.keyFile);
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
    view_.ShowNotice("AccessKey under [Control] in " + app_.paths.iniFile +
                     " may hold only letters, digits, \".\", \"_\", \"~\" and \"-\" (at most "
                     "128); a new key is made at every start instead, as with AccessKey=auto.");
  }
  const PublishedAccessKey published{*key, platform::ProcessId(), app_.channel.GetMappingName()};
  if (const platform::Result written = PublishAccessKey(app_.paths.keyFile, published)) {
    keyPublished_ = true;
  } else {
    view_.ShowNotice("The access key could not be written to " + app_.paths.keyFile + ": " +
                     platform::FailureText(written) +
                     "; Codeplate cannot put it into its codes.");
  }
}

const std::string& MainDialog::AccessKey() const {
  return app_.server.AccessKey();
}

bool MainDialog::CreateSharedMemory() {
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
  return true;
}

// Another process can remove the area's name (logind does when the user
// logs out): consumers could not find the area any more, and a second
// server could make one of its own. A new area is made and published.
// An area cut short by another process forwards nothing any more: it is
// made anew the same way.
void MainDialog::KeepAreaPublished() {
  const bool cutShort = app_.channel.AreaCutShort();
  if (app_.channel.GetHeader() == nullptr || (!cutShort && app_.channel.AreaStillNamed())) return;
  const char* why =
      cutShort ? "The TVXHDV shared memory was cut short by another process: a new one is made"
               : "The TVXHDV shared memory was removed by another process: a new one is made";
  app_.log.WriteLogLine(why);
  view_.ShowNotice(why);
  app_.protocol.AttachChannel(nullptr);  // no client thread is in the channel from here on
  rendezvousPublished_ = false;
  const bool made = CreateSharedMemory();
  app_.protocol.AttachChannel(&app_.channel);
  if (!made) {
    app_.log.WriteLogLine("Can not create the TVXHDV shared memory!");
    app_.log.WriteLogLine(app_.channel.GetLastErrorText());
    view_.ShowNotice("Can not create the TVXHDV shared memory! " + app_.channel.GetLastErrorText());
  }
}

void MainDialog::Start() {
  if (state_.running) {
    view_.ShowMessageBox("Server Already Launched", app_.paths.title);
    return;
  }
  TakeFieldsFromControls();
  // Without the key it asked for the class would be open to everyone.
  if (keyUnavailable_) {
    SetStatus("Stopped.");
    view_.ShowNotice(
        "The server is not running: AccessKey asks for a new key, and the system gave no "
        "random numbers to make one. Set a key of your own as AccessKey under [Control] in " +
        app_.paths.iniFile + " and restart " + app_.paths.title + ".");
    return;
  }
  addressInUse_ = false;
  const DialogFields& fields = state_.fields;
  state_.running =
      app_.server.StartServer(app_.settings.serverRoot, fields.defaultIndexFile, fields.port,
                              PersistenceTimeoutMs(fields.persistenceTimeoutSeconds)) != 0;
  if (state_.running) view_.StartTimer(kTimerPeriodMs);
  SetStatus("Working...");
  ShowPhoneAddresses();
  NoticeStartOutcome();
}

// The engine writes its reasons to its error log, which the view has shown
// line by line; this says in plain words what they mean for the operator.
void MainDialog::NoticeStartOutcome() {
  const std::string port = std::to_string(state_.fields.port);
  if (state_.running) {
    view_.ShowNotice("Server started on port " + port + ".");
  } else if (addressInUse_) {
    // The port field is fixed while the program runs: a new port takes a restart.
    view_.ShowNotice("The server is not running: port " + port +
                     " is in use by another program. End that program and start again, or "
                     "change Port under [Control] in " +
                     app_.paths.iniFile + " and restart " + app_.paths.title + ".");
  } else {
    view_.ShowNotice(
        "The server is not running: it could not start; the error log lines above say why.");
  }
}

// On an engine thread.
void MainDialog::OnErrorLogLine(const ErrorLogLine& line) {
  if (platform::IsAddressInUse(line.code)) addressInUse_ = true;
  view_.ShowErrorLogLine(line.text);
}

void MainDialog::Stop() {
  if (!state_.running) {
    view_.ShowMessageBox("Server not Launched", app_.paths.title);
    return;
  }
  app_.server.Shutdown();
  view_.StopTimer();
  app_.protocol.ReleaseCursor();  // no phone reports any more
  state_.running = false;
  SetStatus("Stopped.");
  ShowPhoneAddresses();
  view_.ShowNotice("Server stopped.");
}

void MainDialog::Reset() {
  Stop();
  app_.server.ResetStatistics();
  view_.ShowNotice("Statistics reset.");
  TakeFieldsFromControls();
  Start();
}

void MainDialog::ReloadPage() {
  if (LoadPage() == 0) return;
  const auto page = app_.indexPage.Current();
  view_.ShowNotice("Page reloaded (" + std::to_string(page ? page->size() : 0) + " bytes).");
}

// A failed load keeps the page served so far; the operator hears of it.
int MainDialog::LoadPage() {
  const int loaded = ReReadFiles(app_.indexPage, app_.paths.indexPageFile, app_.log);
  if (loaded == 0) {
    view_.ShowNotice("The page could not be loaded from " + app_.paths.indexPageFile +
                     " (missing, unreadable or above 100000 bytes); the page served so far stays.");
  }
  return loaded;
}

// The chosen folder only fills the field: the server keeps serving
// PathToWorkingDir, and the field is stored as "Server Root" on the next save.
void MainDialog::BrowseForHomeDirectory() {
  const std::optional<std::string> folder =
      view_.ChooseFolder("Please Choose the folder Home Directory of Web Server");
  if (folder) SetHomeDirectory(*folder);
}

void MainDialog::SetHomeDirectory(const std::string& folder) {
  if (folder.empty() || folder.size() >= kPathBufferSize) return;
  state_.fields.homeDirectory = folder;
  PushFieldsToControls();
}

// A new port takes effect at the next Start, as a port typed into the field would.
void MainDialog::SetPort(int port) {
  if (port < 1 || port > 65535) return;
  state_.fields.port = port;
  PushFieldsToControls();
}

void MainDialog::SelectPointer(int pointer) {
  if (!IsValidPointer(pointer)) return;
  app_.settings.selectedPointer = pointer;
  app_.protocol.ReleaseCursor();  // the phone selected so far lets go
  state_.selectedPointer = pointer;
  Render();
  const platform::Result stored = StoreSelectedPointer(pointer, app_.paths.iniFile);
  view_.ShowNotice("Pointer " + TwoDigits(pointer) + " selected.");
  if (!stored) ShowNotSaved("The setting", {app_.paths.iniFile, stored});
}

// The selection or the settings hold for this run all the same.
void MainDialog::ShowNotSaved(const char* what, const SettingsWriteFailure& failure) {
  view_.ShowNotice(std::string(what) + " could not be saved in " + failure.file + ": " +
                   platform::FailureText(failure.result) + ".");
}

void MainDialog::SetCursorEmulation(bool on) {
  if (on && !cursorEmulation_.Running()) {
    RefuseCursorEmulation("Cursor emulation is not available: the system gave it no thread");
    return;
  }
  if (on && !mouse_.IsAvailable()) {
    RefuseCursorEmulation("Cursor emulation is not available: no display");
    return;
  }
  app_.settings.cursorEmulation = on;
  if (!on) app_.protocol.ReleaseCursor();
  state_.cursorEmulation = on;
  Render();
  view_.ShowNotice(on ? "Cursor emulation on." : "Cursor emulation off.");
  const char* limit = on ? mouse_.EmulationLimit() : nullptr;
  if (limit != nullptr && !emulationLimitShown_) {
    emulationLimitShown_ = true;
    app_.log.WriteLogLine(limit);
    view_.ShowMessageBox(limit, app_.paths.title);  // held until the operator has read it
  }
}

void MainDialog::SetCursorScreen(const CursorScreen& screen) {
  cursorScreen_ = screen;
  app_.settings.cursorScreen = CursorScreenText(screen);
  state_.cursorScreen = app_.settings.cursorScreen;
  missingMonitorLogged_ = false;
  ApplyCursorScreen();
  Render();
  const platform::Result stored = StoreCursorScreen(app_.settings.cursorScreen, app_.paths.iniFile);
  view_.ShowNotice("Cursor screen " + app_.settings.cursorScreen + ".");
  if (!stored) ShowNotSaved("The setting", {app_.paths.iniFile, stored});
}

std::vector<platform::Monitor> MainDialog::Monitors() {
  return MonitorsAsSeen(mouse_.Monitors());
}

std::vector<CursorScreenChoice> MainDialog::CursorScreenChoices() {
  return ::CursorScreenChoices(cursorScreen_, Monitors());
}

void MainDialog::MonitorsChanged() {
  ApplyCursorScreen();
  Render();
}

// Monitors come and go: the area is chosen afresh at every tick. A chosen
// monitor that is gone gives the primary, with one log line until it is back.
// The overlay lies over the same part.
void MainDialog::ApplyCursorScreen() {
  const std::vector<platform::Monitor> monitors = Monitors();
  state_.cursorScreenArea = CoveredRect(cursorScreen_, monitors);
  const CursorArea area = ChooseCursorArea(cursorScreen_, monitors);
  if (area.missingMonitor && !missingMonitorLogged_) {
    app_.log.WriteLogLine("CursorScreen " + CursorScreenText(cursorScreen_) +
                          ": no such monitor; the pad covers the primary");
  }
  missingMonitorLogged_ = area.missingMonitor;
  mouse_.SetCursorArea(area.rect);
}

// The box the operator ticked is cleared again.
void MainDialog::RefuseCursorEmulation(const char* reason) {
  view_.ShowMessageBox(reason, app_.paths.title);
  app_.settings.cursorEmulation = false;
  state_.cursorEmulation = false;
  Render();
}

void MainDialog::SetPointerOverlay(bool on) {
  if (on && !view_.CanShowPointerOverlay()) {
    view_.ShowNotice(
        "The pointer overlay needs the window: start TVXHandvane on a desktop without "
        "--console.");
    return;
  }
  app_.settings.showPointers = on;
  state_.showPointers = on;
  Render();
  const platform::Result stored = StoreShowPointers(on, app_.paths.iniFile);
  view_.ShowNotice(on ? "Pointer overlay on." : "Pointer overlay off.");
  if (!stored) ShowNotSaved("The setting", {app_.paths.iniFile, stored});
}

void MainDialog::ReadPointerSightings(PointerSightings& sightings) {
  app_.protocol.ReadPointerSightings(sightings);
}

void MainDialog::Vibrate(int code) {
  app_.protocol.QueueVibrateCommand(code);
  const int pointer = app_.settings.selectedPointer;
  char codeText[8];
  std::snprintf(codeText, sizeof codeText, "%02X", static_cast<unsigned>(code & 0xFF));
  const Vibration* vibration = FindVibration(code);
  const char* caption = vibration != nullptr ? vibration->caption : "Command";
  view_.ShowNotice(std::string(caption) + " (" + codeText + ") queued for pointer " +
                   TwoDigits(pointer) +
                   (app_.protocol.HasReportedLately(pointer)
                        ? "."
                        : "; no phone has reported on it in the last second."));
}

void MainDialog::Tick() {
  KeepAreaPublished();
  ApplyCursorScreen();
  const bool emulating = app_.settings.cursorEmulation;
  tick_.Run();
  NoticeDisplayChange();
  Render();
  if (emulating && !app_.settings.cursorEmulation) {
    view_.ShowNotice("Cursor emulation off: Ctrl+Shift was held.");
  }
}

// Once when the emulation's display is lost, once when it takes input again:
// meanwhile emulation is on, yet nothing reaches the cursor.
void MainDialog::NoticeDisplayChange() {
  const bool lost = cursorEmulation_.DisplayLost();
  if (lost == displayLostTold_) return;
  displayLostTold_ = lost;
  const char* text = lost ? "Cursor emulation: the display was lost; the cursor is not driven "
                            "until it takes input again."
                          : "Cursor emulation: the display takes input again.";
  app_.log.WriteLogLine(text);
  view_.ShowNotice(text);
}

// The addresses are asked for at each start: the PC may have joined a
// network since the last one. A code shown for another address would send
// phones where no server answers.
void MainDialog::ShowPhoneAddresses() {
  const std::string coded = state_.clickableAddress;
  state_.phoneAddressText = PhoneAddressLines();
  if (!coded.empty() && state_.clickableAddress != coded) view_.CloseQrCode();
  Render();
}

std::string MainDialog::PhoneAddressLines() {
  state_.clickableAddress.clear();
  if (!state_.running) {
    return "The server is not running: phones cannot connect.\n"
           "Start it, and the address for the phones shows here.";
  }
  const PhoneAddresses addresses =
      ChoosePhoneAddresses(app_.localAddresses(), state_.fields.port, AccessKey());
  if (addresses.onNetwork.empty()) {
    return "No network: phones cannot connect until this PC is on one.\n"
           "Only a browser on this PC opens " +
           addresses.onThisPcOnly;
  }
  state_.clickableAddress = addresses.onNetwork.front();
  std::string text = "Phones open " + state_.clickableAddress + "  (click for its QR code)";
  for (std::size_t i = 1; i < addresses.onNetwork.size(); ++i) {
    text += (i == 1 ? "\nor " : ", ") + addresses.onNetwork[i];
  }
  return text;
}

void MainDialog::ShowPhoneAddressCode() {
  const std::string& address = state_.clickableAddress;
  if (address.empty()) return;
  view_.ShowQrCode(address, QrMatrix::Encode(address));
}

const DialogState& MainDialog::State() {
  state_.reportingPointers = app_.protocol.ReadReportingPointers();
  state_.hasAccessKey = !AccessKey().empty();
  state_.refusedReports = app_.server.RefusedReports();
  return state_;
}

void MainDialog::OnOK() {
  RunShutdownSequence();
  // The fields are disabled, so only stored values can fail the check; the
  // dialog ends all the same rather than stay open with the server torn down.
  TakeFieldsFromControls();
  view_.EndDialog(kIdOk);
}

void MainDialog::OnCancel() {
  RunShutdownSequence();
  view_.EndDialog(kIdCancel);
}

void MainDialog::OnDestroy() {
  RunShutdownSequence();
}

void MainDialog::OnEndSession() {
  RunShutdownSequence();
  if (rendezvousPublished_) platform::RemoveFile(app_.channel.GetRendezvousFilePath());
  rendezvousPublished_ = false;
}

void MainDialog::RunShutdownSequence() {
  if (settingsLoaded_) {
    if (const auto failure = SaveDialogSettings(app_.settingsFiles(), *this)) {
      ShowNotSaved("The settings", *failure);
    }
  }
  if (state_.running) Stop();
  app_.protocol.ReleaseCursor();
  app_.channel.SharedMemoryClose();
  if (keyPublished_) platform::RemoveFile(app_.paths.keyFile);
  keyPublished_ = false;
}

void MainDialog::SetStatus(const char* text) {
  state_.statusText = text;
  PushFieldsToControls();
}

// A view without edit fields has the fields as the dialog holds them; the
// range checks hold for them all the same.
bool MainDialog::TakeFieldsFromControls() {
  DialogFields& fields = state_.fields;
  const std::optional<FieldTexts> texts = view_.TakeFieldTexts().value_or(
      FieldTexts{fields.homeDirectory, fields.defaultIndexFile, std::to_string(fields.port),
                 std::to_string(fields.persistenceTimeoutSeconds)});
  fields.homeDirectory = texts->homeDirectory;
  fields.defaultIndexFile = texts->defaultIndexFile;
  if (!TakeIntegerField(texts->port, 1, 65535, fields.port)) return false;
  return TakeIntegerField(texts->persistenceTimeout, 0, 10000, fields.persistenceTimeoutSeconds);
}

// The value is taken even when it fails the range check, as the field
// exchange has always done; the check only stops the exchange.
bool MainDialog::TakeIntegerField(const std::string& text, int low, int high, int& value) {
  if (!ParseLeadingInteger(text, value)) {
    view_.ShowMessageBox("Please enter an integer.", app_.paths.title);
    return false;
  }
  if (value < low || value > high) {
    char message[80];
    std::snprintf(message, sizeof message, "Please enter an integer between %d and %d.", low, high);
    view_.ShowMessageBox(message, app_.paths.title);
    return false;
  }
  return true;
}

void MainDialog::PushFieldsToControls() {
  ++state_.fieldsPushed;
  Render();
}
