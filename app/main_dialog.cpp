#include "app/main_dialog.h"

#include <cstdio>

#include "app/dialog_notices.h"
#include "app/field_texts.h"
#include "app/phone_addresses.h"
#include "common/number_text.h"
#include "platform/clock.h"

namespace {

constexpr const char* kSevereErrorCaption = "TVXHandvane severe error";
constexpr const char* kNoArea = "Can not create the TVXHDV shared memory!";

}  // namespace

MainDialog::MainDialog(Session& session, DialogView& view, MouseAndKeys& screens)
    : session_(session),
      settings_(session.Values()),
      view_(view),
      padArea_(screens),
      tick_(TimerTickWiring{platform::TickCount, session, session, state_}),
      events_{[this](const std::string& text) { view_.ShowNotice(text); },
              [this](std::string_view line) { view_.ShowErrorLogLine(line); }} {
  session_.SetEvents(&events_);
}

bool MainDialog::OnInitDialog() {
  PushFields();
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
  int width = 0, height = 0;
  view_.ScreenSize(width, height);
  char line[64];
  std::snprintf(line, sizeof line, "ScreenWidth %d ScreenHeight %d", width, height);
  session_.Log(line);

  padArea_.Choose(ParseCursorScreen(settings_.cursorScreen).value_or(CursorScreen{}));
  state_.cursorScreen = CursorScreenText(padArea_.Choice());
  ApplyCursorScreen();
  state_.live.offScreen = true;
  state_.selectedPointer = settings_.selectedPointer;
  state_.showPointers = settings_.showPointers && view_.CanShowPointerOverlay();
  PushFields();
  LoadPage();
  settingsLoaded_ = true;
  session_.ChooseAccessKey();
  Start();
  return true;
}

// The program cannot go on: the operator hears why; the dialog ends.
bool MainDialog::Refuse(const std::string& notice, const std::string& message) {
  view_.ShowNotice(notice);
  view_.ShowMessageBox(message, kSevereErrorCaption);
  OnCancel();
  return false;
}

void MainDialog::Start() {
  if (state_.running) {
    view_.ShowMessageBox("Server Already Launched", session_.Paths().title);
    return;
  }
  TakeFieldsFromControls();
  const StartOutcome outcome = session_.StartServer();
  const std::string notice = StartNotice(outcome, settings_.fields.port, session_.Paths());
  // Without the key it asked for the class would be open to everyone.
  if (outcome == StartOutcome::kNoAccessKey) {
    SetStatus("Stopped.");
    view_.ShowNotice(notice);
    return;
  }
  state_.running = outcome == StartOutcome::kRunning;
  if (state_.running) view_.StartTimer(kTimerPeriodMs);
  SetStatus(state_.running ? "Working..." : "Stopped.");
  ShowPhoneAddresses();
  // The engine's error log lines, shown as they came, say why in its words.
  view_.ShowNotice(notice);
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
  PushFields();
}

// A new port takes effect at the next Start, as a port typed into the field would.
void MainDialog::SetPort(int port) {
  if (port < 1 || port > 65535) return;
  settings_.fields.port = port;
  PushFields();
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
  if (!stored) view_.ShowNotice(NotSavedNotice("The setting", {session_.Paths().iniFile, stored}));
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
  padArea_.Choose(screen);
  settings_.cursorScreen = CursorScreenText(screen);
  state_.cursorScreen = settings_.cursorScreen;
  ApplyCursorScreen();
  Render();
  const platform::Result stored = session_.StoreCursorScreen(settings_.cursorScreen);
  view_.ShowNotice("Cursor screen " + settings_.cursorScreen + ".");
  StoreChoice(stored);
}

std::vector<platform::Monitor> MainDialog::Monitors() {
  return padArea_.Monitors();
}

std::vector<CursorScreenChoice> MainDialog::CursorScreenChoices() {
  return padArea_.Choices();
}

void MainDialog::MonitorsChanged() {
  ApplyCursorScreen();
  Render();
}

void MainDialog::ApplyCursorScreen() {
  state_.cursorScreenArea = padArea_.Apply([this](const std::string& line) { session_.Log(line); });
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

void MainDialog::SetPointerLabels(PointerLabels labels) {
  settings_.pointerLabels = labels;
  Render();
  const platform::Result stored = session_.StorePointerLabels(labels);
  view_.ShowNotice(labels == PointerLabels::kNames ? "Pointers shown with their names."
                                                   : "Pointers shown by number only.");
  StoreChoice(stored);
}

// The notices name the pointer, never the name: the console's output may
// be kept in a file.
void MainDialog::RenamePointer(int pointer, const std::string& name) {
  if (!IsValidPointer(pointer)) return;
  const PointerNames::Refusal refusal = session_.RenamePointer(pointer, name);
  Render();
  view_.ShowNotice(refusal == PointerNames::Refusal::kNone
                       ? "Pointer " + TwoDigits(pointer) + " renamed."
                       : "Pointer " + TwoDigits(pointer) + " keeps its name: " +
                             std::string(RefusalReason(refusal)) + ".");
}

void MainDialog::FreeNumber(int pointer) {
  if (!IsValidPointer(pointer)) return;
  session_.FreeNumber(pointer);
  Render();
  view_.ShowNotice("Number " + TwoDigits(pointer) +
                   " freed: its phone is told to pick another number.");
}

void MainDialog::Vibrate(int code) {
  session_.QueueVibrateCommand(code);
  const int pointer = settings_.selectedPointer;
  view_.ShowNotice(VibrateNotice(code, pointer, session_.HasReportedLately(pointer)));
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
  const PhoneAddressLines lines = DescribePhoneAddresses(
      state_.running,
      ChoosePhoneAddresses(session_.LocalAddresses(), settings_.fields.port, AccessKey()));
  state_.phoneAddressText = lines.text;
  state_.clickableAddress = lines.clickable;
  if (!coded.empty() && state_.clickableAddress != coded) view_.CloseQrCode();
  Render();
}

void MainDialog::ShowPhoneAddressCode() {
  const std::string& address = state_.clickableAddress;
  if (!address.empty()) view_.ShowQrCode(address, QrMatrix::Encode(address));
}

const DialogState& MainDialog::State() {
  state_.reportingPointers = session_.ReadReportingPointers();
  state_.hasAccessKey = !AccessKey().empty();
  state_.refusedReports = session_.RefusedReports();
  return MirrorOwners();
}

void MainDialog::Render() {
  view_.Render(MirrorOwners());
}

// The fields and the switch as the settings and the cursor hold them now.
const DialogState& MainDialog::MirrorOwners() {
  state_.fields = settings_.fields;
  state_.cursorEmulation = session_.Cursor().IsOn();
  RefreshLabels();
  return state_;
}

// Made anew only when a name or the choice changed: every tick renders.
void MainDialog::RefreshLabels() {
  const PointerNames& names = session_.Names();
  const std::uint32_t version = names.Version();
  const bool first = state_.labelsChanged == 0;
  if (!first && version == labelledNames_ && state_.labels == settings_.pointerLabels) return;
  labelledNames_ = version;
  state_.labels = settings_.pointerLabels;
  for (int pointer = 0; pointer < kPointerCount; ++pointer) {
    state_.pointerLabels[static_cast<std::size_t>(pointer)] =
        PointerLabel(pointer, names.Get(pointer), state_.labels);
  }
  ++state_.labelsChanged;
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
      view_.ShowNotice(NotSavedNotice("The settings", *failure));
    }
  }
  if (state_.running) Stop();
  session_.Cursor().Release();
  session_.Close(false);
}

void MainDialog::SetStatus(const char* text) {
  state_.statusText = text;
  PushFields();
}

// A window writes the fields into its edit fields only now, so that a tick
// never overwrites what the operator is typing.
void MainDialog::PushFields() {
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
