#include "app/main_dialog.h"

#include <cstdio>

#include "app/field_texts.h"
#include "app/phone_addresses.h"
#include "platform/clock.h"
#include "pointer/vibrations.h"

namespace {

constexpr const char* kSevereErrorCaption = "TVXHandvane severe error";
constexpr const char* kNoArea = "Can not create the TVXHDV shared memory!";

std::string TwoDigits(int number) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d", number);
  return text;
}

}  // namespace

MainDialog::MainDialog(Session& session, DialogView& view, MouseAndKeys& screens)
    : session_(session),
      settings_(session.Values()),
      view_(view),
      screens_(screens),
      tick_(TimerTickWiring{platform::TickCount, session, session, state_}) {
  session_.SetEvents(this);
}

MainDialog::~MainDialog() {
  session_.SetEvents(nullptr);
}

bool MainDialog::OnInitDialog() {
  ++state_.fieldsPushed;
  Render();
  std::string why;
  switch (session_.Open(why)) {
    case OpenOutcome::kAlreadyRunning:
      return Refuse("The TVXHDV shared memory belongs to a running server: " + why,
                    std::string(kNoArea) + "\n" + why);
    case OpenOutcome::kNoArea:
      return Refuse(why, kNoArea);
    case OpenOutcome::kOpened:
      break;
  }
  if (settings_.windowPlacement) view_.ApplyPlacement(*settings_.windowPlacement);
  int width = 0;
  int height = 0;
  view_.ScreenSize(width, height);
  char line[64];
  std::snprintf(line, sizeof line, "ScreenWidth %d ScreenHeight %d", width, height);
  session_.Log(line);

  cursorScreen_ = ParseCursorScreen(settings_.cursorScreen).value_or(CursorScreen{});
  state_.cursorScreen = CursorScreenText(cursorScreen_);
  ApplyCursorScreen();
  state_.live.offScreen = true;
  state_.selectedPointer = settings_.selectedPointer;
  state_.showPointers = settings_.showPointers && view_.CanShowPointerOverlay();
  ++state_.fieldsPushed;
  Render();
  LoadPage();
  settingsLoaded_ = true;
  session_.ChooseAccessKey();
  Start();
  return true;
}

// The program cannot go on: the operator hears why, and the dialog ends.
bool MainDialog::Refuse(const std::string& notice, const std::string& message) {
  view_.ShowNotice(notice);
  view_.ShowMessageBox(message, kSevereErrorCaption);
  OnCancel();
  return false;
}

void MainDialog::Start() {
  const std::string& title = session_.Paths().title;
  if (state_.running) {
    view_.ShowMessageBox("Server Already Launched", title);
    return;
  }
  TakeFieldsFromControls();
  const StartOutcome outcome = session_.StartServer();
  if (outcome == StartOutcome::kNoAccessKey) {
    SetStatus("Stopped.");
    view_.ShowNotice(
        "The server is not running: AccessKey asks for a new key, and the system gave no "
        "random numbers to make one. Set a key of your own as AccessKey under [Control] in " +
        session_.Paths().iniFile + " and restart " + title + ".");
    return;
  }
  state_.running = outcome == StartOutcome::kRunning;
  if (state_.running) view_.StartTimer(kTimerPeriodMs);
  SetStatus("Working...");
  ShowPhoneAddresses();
  NoticeStartOutcome(outcome);
}

// The engine writes its reasons to its error log, which the view has shown
// line by line; this says in plain words what they mean for the operator.
void MainDialog::NoticeStartOutcome(StartOutcome outcome) {
  const std::string port = std::to_string(settings_.fields.port);
  if (outcome == StartOutcome::kRunning) {
    view_.ShowNotice("Server started on port " + port + ".");
  } else if (outcome == StartOutcome::kPortInUse) {
    // The port field is fixed while the program runs: a new port takes a restart.
    view_.ShowNotice("The server is not running: port " + port +
                     " is in use by another program. End that program and start again, or "
                     "change Port under [Control] in " +
                     session_.Paths().iniFile + " and restart " + session_.Paths().title + ".");
  } else {
    view_.ShowNotice(
        "The server is not running: it could not start; the error log lines above say why.");
  }
}

void MainDialog::Stop() {
  if (!state_.running) {
    view_.ShowMessageBox("Server not Launched", session_.Paths().title);
    return;
  }
  session_.StopServer();
  view_.StopTimer();
  session_.Cursor().Release();  // no phone reports any more
  state_.running = false;
  SetStatus("Stopped.");
  ShowPhoneAddresses();
  view_.ShowNotice("Server stopped.");
}

void MainDialog::Reset() {
  Stop();
  session_.ResetStatistics();
  view_.ShowNotice("Statistics reset.");
  TakeFieldsFromControls();
  Start();
}

void MainDialog::ReloadPage() {
  if (const std::optional<std::size_t> size = LoadPage()) {
    view_.ShowNotice("Page reloaded (" + std::to_string(*size) + " bytes).");
  }
}

// A failed load keeps the page served so far; the operator hears of it.
std::optional<std::size_t> MainDialog::LoadPage() {
  const std::optional<std::size_t> size = session_.ReloadPage();
  if (!size) {
    view_.ShowNotice("The page could not be loaded from " + session_.Paths().indexPageFile +
                     " (missing, unreadable or above 100000 bytes); the page served so far stays.");
  }
  return size;
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
  settings_.fields.homeDirectory = folder;
  ++state_.fieldsPushed;
  Render();
}

// A new port takes effect at the next Start, as a port typed into the field would.
void MainDialog::SetPort(int port) {
  if (port < 1 || port > 65535) return;
  settings_.fields.port = port;
  ++state_.fieldsPushed;
  Render();
}

void MainDialog::SelectPointer(int pointer) {
  if (!IsValidPointer(pointer)) return;
  settings_.selectedPointer = pointer;
  session_.Cursor().Release();  // the phone selected so far lets go
  state_.selectedPointer = pointer;
  Render();
  const platform::Result stored = session_.StoreSelectedPointer(pointer);
  view_.ShowNotice("Pointer " + TwoDigits(pointer) + " selected.");
  StoreChoice(stored);
}

// The choice holds for this run all the same.
void MainDialog::StoreChoice(const platform::Result& stored) {
  if (!stored) ShowNotSaved("The setting", {session_.Paths().iniFile, stored});
}

void MainDialog::ShowNotSaved(const char* what, const SettingsWriteFailure& failure) {
  view_.ShowNotice(std::string(what) + " could not be saved in " + failure.file + ": " +
                   platform::FailureText(failure.result) + ".");
}

void MainDialog::SetCursorEmulation(bool on) {
  CursorControl& cursor = session_.Cursor();
  if (!on) {
    cursor.SwitchOff();
  } else if (const CursorControl::Refusal refusal = cursor.SwitchOn();
             refusal != CursorControl::Refusal::kNone) {
    RefuseCursorEmulation(refusal == CursorControl::Refusal::kNoThread
                              ? "Cursor emulation is not available: the system gave it no thread"
                              : "Cursor emulation is not available: no display");
    return;
  }
  Render();
  view_.ShowNotice(on ? "Cursor emulation on." : "Cursor emulation off.");
  const char* limit = on ? cursor.EmulationLimit() : nullptr;
  if (limit != nullptr && !emulationLimitShown_) {
    emulationLimitShown_ = true;
    session_.Log(limit);
    view_.ShowMessageBox(limit, session_.Paths().title);  // held until the operator has read it
  }
}

// The box the operator ticked is cleared again.
void MainDialog::RefuseCursorEmulation(const char* reason) {
  view_.ShowMessageBox(reason, session_.Paths().title);
  session_.Cursor().SwitchOff();
  Render();
}

void MainDialog::SetCursorScreen(const CursorScreen& screen) {
  cursorScreen_ = screen;
  settings_.cursorScreen = CursorScreenText(screen);
  state_.cursorScreen = settings_.cursorScreen;
  missingMonitorLogged_ = false;
  ApplyCursorScreen();
  Render();
  const platform::Result stored = session_.StoreCursorScreen(settings_.cursorScreen);
  view_.ShowNotice("Cursor screen " + settings_.cursorScreen + ".");
  StoreChoice(stored);
}

std::vector<platform::Monitor> MainDialog::Monitors() {
  return MonitorsAsSeen(screens_.Monitors());
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
    session_.Log("CursorScreen " + CursorScreenText(cursorScreen_) +
                 ": no such monitor; the pad covers the primary");
  }
  missingMonitorLogged_ = area.missingMonitor;
  screens_.SetCursorArea(area.rect);
}

void MainDialog::SetPointerOverlay(bool on) {
  if (on && !view_.CanShowPointerOverlay()) {
    view_.ShowNotice(
        "The pointer overlay needs the window: start TVXHandvane on a desktop without "
        "--console.");
    return;
  }
  settings_.showPointers = on;
  state_.showPointers = on;
  Render();
  const platform::Result stored = session_.StoreShowPointers(on);
  view_.ShowNotice(on ? "Pointer overlay on." : "Pointer overlay off.");
  StoreChoice(stored);
}

void MainDialog::Vibrate(int code) {
  session_.QueueVibrateCommand(code);
  const int pointer = settings_.selectedPointer;
  char codeText[8];
  std::snprintf(codeText, sizeof codeText, "%02X", static_cast<unsigned>(code & 0xFF));
  const Vibration* vibration = FindVibration(code);
  const char* caption = vibration != nullptr ? vibration->caption : "Command";
  view_.ShowNotice(std::string(caption) + " (" + codeText + ") queued for pointer " +
                   TwoDigits(pointer) +
                   (session_.HasReportedLately(pointer)
                        ? "."
                        : "; no phone has reported on it in the last second."));
}

void MainDialog::Tick() {
  session_.KeepAreaPublished();
  ApplyCursorScreen();
  tick_.Run();
  const bool chordSwitchedOff = session_.Cursor().Tick();
  NoticeDisplayChange();
  Render();
  if (chordSwitchedOff) view_.ShowNotice("Cursor emulation off: Ctrl+Shift was held.");
}

// Once when the emulation's display is lost, once when it takes input again:
// meanwhile emulation is on, yet nothing reaches the cursor.
void MainDialog::NoticeDisplayChange() {
  const bool lost = session_.Cursor().DisplayLost();
  if (lost == displayLostTold_) return;
  displayLostTold_ = lost;
  const char* text = lost ? "Cursor emulation: the display was lost; the cursor is not driven "
                            "until it takes input again."
                          : "Cursor emulation: the display takes input again.";
  session_.Log(text);
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
      ChoosePhoneAddresses(session_.LocalAddresses(), settings_.fields.port, AccessKey());
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
  state_.reportingPointers = session_.ReadReportingPointers();
  state_.hasAccessKey = !AccessKey().empty();
  state_.refusedReports = session_.RefusedReports();
  state_.fields = settings_.fields;
  state_.cursorEmulation = session_.Cursor().IsOn();
  return state_;
}

void MainDialog::Render() {
  state_.fields = settings_.fields;
  state_.cursorEmulation = session_.Cursor().IsOn();
  view_.Render(state_);
}

void MainDialog::OnEscape() {
  if (!view_.CloseQrCode()) OnCancel();
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
  session_.Close(true);
}

void MainDialog::RunShutdownSequence() {
  if (settingsLoaded_) {
    TakeFieldsFromControls();  // a failed range check still saves what was taken
    if (const auto failure = session_.SaveSettings(view_.CurrentPlacement())) {
      ShowNotSaved("The settings", *failure);
    }
  }
  if (state_.running) Stop();
  session_.Cursor().Release();
  session_.Close(false);
}

void MainDialog::SetStatus(const char* text) {
  state_.statusText = text;
  ++state_.fieldsPushed;
  Render();
}

// A view without edit fields has the fields as the settings hold them; the
// range checks hold for them all the same.
void MainDialog::TakeFieldsFromControls() {
  const FieldTexts texts = view_.TakeFieldTexts().value_or(TextsOf(settings_.fields));
  if (const auto problem = TakeFieldTexts(texts, settings_.fields)) {
    view_.ShowMessageBox(*problem, session_.Paths().title);
  }
}
