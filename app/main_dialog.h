// The server program's one dialog, without its window. Front ends call its
// intents (what the operator can do) and render its state (DialogState);
// every decision is made here, once. Everything runs on the dialog's thread.
#pragma once

#include <atomic>
#include <string>

#include "app/cursor_screen.h"
#include "app/dialog_settings.h"
#include "app/dialog_state.h"
#include "app/dialog_view.h"
#include "app/timer_tick.h"
#include "app/timer_tick_adapters.h"
#include "pointer/cursor_emulation.h"
#include "pointer/mouse_and_keys.h"
#include "server/error_log.h"

class Application;
class HttpServer;

class MainDialog : private DialogFieldExchange {
 public:
  static constexpr int kIdOk = 1;
  static constexpr int kIdCancel = 2;
  static constexpr unsigned kTimerPeriodMs = 200;

  MainDialog(Application& app, DialogView& view, MouseAndKeys& mouse);
  ~MainDialog() override;

  MainDialog(const MainDialog&) = delete;
  MainDialog& operator=(const MainDialog&) = delete;

  // False when the program cannot go on (the dialog has ended).
  bool OnInitDialog();

  // What the operator can do.
  void Start();
  void Stop();
  void Reset();
  void ReloadPage();
  // Fills the home directory field from the system's folder picker.
  void BrowseForHomeDirectory();
  void SetHomeDirectory(const std::string& folder);
  // The port the next Start uses.
  void SetPort(int port);
  void SelectPointer(int pointer);
  void SetCursorEmulation(bool on);
  // The overlay of every pointer over the screen; the setting is kept.
  void SetPointerOverlay(bool on);
  // The part of the desktop the pad covers; stored at once.
  void SetCursorScreen(const CursorScreen& screen);
  // The monitors as the operator numbers them (MonitorsAsSeen).
  std::vector<platform::Monitor> Monitors();
  // What the windows' "Cursor screen" menus offer, asked for as they open.
  std::vector<CursorScreenChoice> CursorScreenChoices();
  // A monitor came, went or changed: the pad's part and the overlay follow.
  void MonitorsChanged();
  void Vibrate(int code);
  // The QR code of the address the bottom lines name.
  void ShowPhoneAddressCode();
  // The timer's tick.
  void Tick();

  // The three ways out; each runs the shutdown sequence.
  void OnOK();
  void OnCancel();
  void OnDestroy();
  // The user logs off or the system shuts down: the shutdown sequence, and
  // the rendezvous file goes with the area it names.
  void OnEndSession();

  // What the front ends show; the reporting pointers and the refusals are
  // read afresh.
  const DialogState& State();
  bool IsRunning() const { return state_.running; }
  // Every pointer's last report, for the overlay's frames.
  void ReadPointerSightings(PointerSightings& sightings);
  // The key that phones' reports must carry, fixed from the initialisation
  // on; empty when the class has none.
  const std::string& AccessKey() const;

 private:
  // DialogFieldExchange: the members and the view's edit fields.
  DialogFields& Fields() override { return state_.fields; }
  bool TakeFieldsFromControls() override;
  void PushFieldsToControls() override;
  std::optional<WindowPlacementBytes> CurrentPlacement() override {
    return view_.CurrentPlacement();
  }

  bool TakeIntegerField(const std::string& text, int low, int high, int& value);
  bool CreateSharedMemory();
  void KeepAreaPublished();
  int LoadPage();
  void ChooseAccessKey();
  std::string RunningServerText();
  void NoticeStartOutcome();
  void OnErrorLogLine(const ErrorLogLine& line);
  void RunShutdownSequence();
  void ShowNotSaved(const char* what, const SettingsWriteFailure& failure);
  void SetStatus(const char* text);
  void ShowPhoneAddresses();
  std::string PhoneAddressLines();
  void RefuseCursorEmulation(const char* reason);
  void NoticeDisplayChange();
  void ApplyCursorScreen();
  void Render() { view_.Render(state_); }

  Application& app_;
  DialogView& view_;
  MouseAndKeys& mouse_;
  CursorEmulation cursorEmulation_;  // follows the selected pointer's reports
  ProtocolPointerStatus pointerStatus_;
  EngineStatistics statistics_;
  DialogState state_;
  TimerTick tick_;
  std::atomic<bool> addressInUse_{false};  // heard from the engine during a start
  bool settingsLoaded_ = false;            // an early end never overwrites the stored settings
  bool rendezvousPublished_ = false;       // the rendezvous file on disk is ours
  bool keyPublished_ = false;              // the key file on disk holds our key
  bool keyUnavailable_ = false;            // a key was asked for and none could be made
  bool displayLostTold_ = false;           // the operator heard that the display is gone
  bool emulationLimitShown_ = false;       // said once per run
  CursorScreen cursorScreen_;
  bool missingMonitorLogged_ = false;  // until the chosen monitor is back
};
