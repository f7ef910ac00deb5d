#include "app/main_dialog.h"

#include <cstdio>
#include <cstdlib>

#include "app/application.h"
#include "app/dialog_controls.h"
#include "common/ini_values.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/process.h"

namespace {

constexpr const char* kSevereErrorCaption = "TVXHandvane severe error";

}  // namespace

MainDialog::MainDialog(Application& app, DialogView& view, MouseAndKeys& mouse)
    : app_(app),
      view_(view),
      mouse_(mouse),
      pointerStatus_(app.protocol),
      statistics_(app.server),
      tick_(TimerTickWiring{platform::TickCount, mouse, pointerStatus_, statistics_,
                            app.settings.cursorEmulation, view}) {}

MainDialog::~MainDialog() = default;

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
  OnReReadFiles();
  running_ = false;
  LoadDialogSettings(app_.settings, app_.settingsFiles(), *this);
  settingsLoaded_ = true;
  fields_.homeDirectory = app_.settings.serverRoot;
  OnStart();
  return true;
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
  running_ =
      app_.server.StartServer(app_.settings.serverRoot, fields_.defaultIndexFile, fields_.port,
                              PersistenceTimeoutMs(fields_.persistenceTimeoutSeconds)) != 0;
  if (running_) view_.StartTimer(kTimerPeriodMs);
  SetStatus("Working...");
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
}

void MainDialog::OnReset() {
  OnStop();
  app_.server.ResetStatistics();
  TakeFieldsFromControls();
  OnStart();
}

void MainDialog::OnReReadFiles() {
  ReReadFiles(app_.indexPage, app_.paths.indexPageFile, app_.log);
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
  StoreSelectedPointer(pointer, app_.paths.iniFile);
}

void MainDialog::OnCursorEmulationClicked(bool checked) {
  if (checked && !mouse_.IsAvailable()) {
    view_.ShowMessageBox("Cursor emulation is not available: no display", app_.paths.title);
    view_.CheckBox(control::kCursorEmulation, false);
    checked = false;
  }
  app_.settings.cursorEmulation = checked;
}

void MainDialog::OnVibrate(int code) {
  app_.protocol.QueueVibrateCommand(code);
}

void MainDialog::OnTimer() {
  tick_.Run();
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
  if (settingsLoaded_) SaveDialogSettings(app_.settingsFiles(), *this);
  if (running_) OnStop();
  app_.channel.SharedMemoryClose();
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
