#include "app/main_dialog.h"

#include <cstdio>
#include <cstdlib>
#include <optional>

#include "app/application.h"
#include "app/dialog_controls.h"
#include "app/phone_addresses.h"
#include "common/access_key.h"
#include "common/ini_values.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/socket.h"

namespace {

constexpr const char* kSevereErrorCaption = "TVXHandvane severe error";

// The Vibrate buttons' captions, code A0 first.
constexpr const char* kVibrateCaptions[] = {"Vibrate Short Single",  "Vibrate Normal Single",
                                            "Vibrate Long Single",   "Vibrate Short Double",
                                            "Vibrate Normal Double", "Vibrate Long Double"};

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
                            app.settings.cursorEmulation, view}) {
  app_.server.SetListener([this](const ErrorLogLine& line) { OnErrorLogLine(line); });
  app_.protocol.AttachCursorFollower(&cursorEmulation_);
}

// The owner has stopped the server by now, so no engine thread can be
// calling the listener or handing a report to the emulation.
MainDialog::~MainDialog() {
  app_.protocol.AttachCursorFollower(nullptr);
  app_.server.SetListener(nullptr);
}

HttpServer& MainDialog::Server() {
  return app_.server;
}

bool MainDialog::OnInitDialog() {
  PushFieldsToControls();

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

  app_.protocol.MarkAllSilent();
  view_.CheckBox(control::kOffScreen, true);
  fields_.port = app_.settings.port;
  FillPointerList();
  LoadPage();
  running_ = false;
  LoadDialogSettings(app_.settings, app_.settingsFiles(), *this);
  settingsLoaded_ = true;
  fields_.homeDirectory = app_.settings.serverRoot;
  ChooseAccessKey();
  OnStart();
  return true;
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
  if (const platform::Result published = PublishAccessKey(app_.paths.keyFile, *key)) {
    keyPublished_ = true;
  } else {
    view_.ShowNotice("The access key could not be written to " + app_.paths.keyFile + ": " +
                     platform::FailureText(published) +
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
void MainDialog::KeepAreaPublished() {
  if (app_.channel.GetHeader() == nullptr || app_.channel.AreaStillNamed()) return;
  const char* removed =
      "The TVXHDV shared memory was removed by another process: a new one is made";
  app_.log.WriteLogLine(removed);
  view_.ShowNotice(removed);
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

void MainDialog::FillPointerList() {
  for (int i = 0; i < kPointerCount; ++i) {
    char entry[16];
    std::snprintf(entry, sizeof entry, "Pointer %02d", i);
    view_.AddPointerEntry(entry);
  }
  view_.SelectPointerEntry(app_.settings.selectedPointer);
}

void MainDialog::OnStart() {
  if (running_) {
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
  running_ =
      app_.server.StartServer(app_.settings.serverRoot, fields_.defaultIndexFile, fields_.port,
                              PersistenceTimeoutMs(fields_.persistenceTimeoutSeconds)) != 0;
  if (running_) view_.StartTimer(kTimerPeriodMs);
  SetStatus("Working...");
  ShowPhoneAddresses();
  NoticeStartOutcome();
}

// The engine writes its reasons to its error log, which the view has shown
// line by line; this says in plain words what they mean for the operator.
void MainDialog::NoticeStartOutcome() {
  const std::string port = std::to_string(fields_.port);
  if (running_) {
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

void MainDialog::OnStop() {
  if (!running_) {
    view_.ShowMessageBox("Server not Launched", app_.paths.title);
    return;
  }
  app_.server.Shutdown();
  view_.StopTimer();
  running_ = false;
  SetStatus("Stopped.");
  ShowPhoneAddresses();
  view_.ShowNotice("Server stopped.");
}

void MainDialog::OnReset() {
  OnStop();
  app_.server.ResetStatistics();
  view_.ShowNotice("Statistics reset.");
  TakeFieldsFromControls();
  OnStart();
}

void MainDialog::OnReReadFiles() {
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
void MainDialog::OnBrowse() {
  const std::optional<std::string> folder =
      view_.ChooseFolder("Please Choose the folder Home Directory of Web Server");
  if (!folder || folder->empty() || folder->size() >= kPathBufferSize) return;
  fields_.homeDirectory = *folder;
  PushFieldsToControls();
}

void MainDialog::OnPointerSelected() {
  const std::string entry = view_.SelectedPointerEntry();
  if (entry.size() < 2) return;
  int pointer = -1;
  if (!ParseLeadingInteger(entry.substr(entry.size() - 2), pointer) || !IsValidPointer(pointer)) {
    return;
  }
  app_.settings.selectedPointer = pointer;
  const platform::Result stored = StoreSelectedPointer(pointer, app_.paths.iniFile);
  view_.ShowNotice("Pointer " + TwoDigits(pointer) + " selected.");
  if (!stored) ShowNotSaved("The setting", {app_.paths.iniFile, stored});
}

// The selection or the settings hold for this run all the same.
void MainDialog::ShowNotSaved(const char* what, const SettingsWriteFailure& failure) {
  view_.ShowNotice(std::string(what) + " could not be saved in " + failure.file + ": " +
                   platform::FailureText(failure.result) + ".");
}

void MainDialog::OnCursorEmulationClicked(bool checked) {
  if (checked && !cursorEmulation_.Running()) {
    view_.ShowMessageBox("Cursor emulation is not available: the system gave it no thread",
                         app_.paths.title);
    view_.CheckBox(control::kCursorEmulation, false);
    app_.settings.cursorEmulation = false;
    return;
  }
  if (checked && !mouse_.IsAvailable()) {
    view_.ShowMessageBox("Cursor emulation is not available: no display", app_.paths.title);
    view_.CheckBox(control::kCursorEmulation, false);
    app_.settings.cursorEmulation = false;
    return;
  }
  app_.settings.cursorEmulation = checked;
  view_.ShowNotice(checked ? "Cursor emulation on." : "Cursor emulation off.");
}

void MainDialog::OnVibrate(int code) {
  app_.protocol.QueueVibrateCommand(code);
  const int pointer = app_.settings.selectedPointer;
  const int button = code - kVibrateShortSingle;
  char codeText[8];
  std::snprintf(codeText, sizeof codeText, "%02X", static_cast<unsigned>(code & 0xFF));
  const char* caption = button >= 0 && button < 6 ? kVibrateCaptions[button] : "Command";
  view_.ShowNotice(std::string(caption) + " (" + codeText + ") queued for pointer " +
                   TwoDigits(pointer) +
                   (app_.protocol.HasReportedLately(pointer)
                        ? "."
                        : "; no phone has reported on it in the last second."));
}

void MainDialog::OnTimer() {
  KeepAreaPublished();
  const bool emulating = app_.settings.cursorEmulation;
  tick_.Run();
  if (emulating && !app_.settings.cursorEmulation) {
    view_.ShowNotice("Cursor emulation off: Ctrl+Shift was held.");
  }
}

// The addresses are asked for at each start: the PC may have joined a
// network since the last one.
void MainDialog::ShowPhoneAddresses() {
  clickableAddress_.clear();
  if (!running_) {
    view_.SetItemText(control::kPhoneAddress,
                      "The server is not running: phones cannot connect.\n"
                      "Start it, and the address for the phones shows here.");
    return;
  }
  const PhoneAddresses addresses =
      ChoosePhoneAddresses(app_.localAddresses(), fields_.port, AccessKey());
  if (addresses.onNetwork.empty()) {
    view_.SetItemText(control::kPhoneAddress,
                      "No network: phones cannot connect until this PC is on one.\n"
                      "Only a browser on this PC opens " +
                          addresses.onThisPcOnly);
    return;
  }
  clickableAddress_ = addresses.onNetwork.front();
  std::string text = "Phones open " + clickableAddress_ + "  (click for its QR code)";
  for (std::size_t i = 1; i < addresses.onNetwork.size(); ++i) {
    text += (i == 1 ? "\nor " : ", ") + addresses.onNetwork[i];
  }
  view_.SetItemText(control::kPhoneAddress, text);
}

void MainDialog::OnPhoneAddressClicked() {
  if (clickableAddress_.empty()) return;
  view_.ShowQrCode(clickableAddress_, QrMatrix::Encode(clickableAddress_));
}

std::vector<ReportingPointer> MainDialog::ReportingPointers() {
  return app_.protocol.ReadReportingPointers();
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
  if (running_) OnStop();
  app_.channel.SharedMemoryClose();
  if (keyPublished_) platform::RemoveFile(app_.paths.keyFile);
  keyPublished_ = false;
}

void MainDialog::SetStatus(const char* text) {
  statusText_ = text;
  PushFieldsToControls();
}

bool MainDialog::TakeFieldsFromControls() {
  fields_.homeDirectory = view_.GetItemText(control::kHomeDirectory);
  fields_.defaultIndexFile = view_.GetItemText(control::kDefaultIndexFile);
  if (!TakeIntegerField(control::kPort, 1, 65535, fields_.port)) return false;
  if (!TakeIntegerField(control::kPersistenceTimeout, 0, 10000,
                        fields_.persistenceTimeoutSeconds)) {
    return false;
  }
  statusText_ = view_.GetItemText(control::kStatus);
  return true;
}

// The value is taken even when it fails the range check, as the field
// exchange has always done; the check only stops the exchange.
bool MainDialog::TakeIntegerField(int control, int low, int high, int& value) {
  if (!ParseLeadingInteger(view_.GetItemText(control), value)) {
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
  view_.SetItemText(control::kHomeDirectory, fields_.homeDirectory);
  view_.SetItemText(control::kDefaultIndexFile, fields_.defaultIndexFile);
  view_.SetItemText(control::kPort, std::to_string(fields_.port));
  view_.SetItemText(control::kPersistenceTimeout,
                    std::to_string(fields_.persistenceTimeoutSeconds));
  view_.SetItemText(control::kStatus, statusText_);
}
