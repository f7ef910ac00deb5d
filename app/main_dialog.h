// The server program's one dialog, without its window: initialisation, the
// Start/Stop/Reset buttons, reloading the page, the pointer list, cursor
// emulation, the Vibrate buttons and the way out. Everything runs on the
// dialog's thread; the view shows what this class decides.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "app/dialog_settings.h"
#include "app/dialog_view.h"
#include "pointer/cursor_emulation.h"
#include "pointer/mouse_and_keys.h"
#include "pointer/timer_tick.h"
#include "pointer/timer_tick_adapters.h"
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

  void OnStart();
  void OnStop();
  void OnReset();
  void OnReReadFiles();
  void OnBrowse();
  void OnPointerSelected();
  void OnCursorEmulationClicked(bool checked);
  void OnVibrate(int code);
  void OnTimer();
  // A click on the address line: the QR code of the address it names.
  void OnPhoneAddressClicked();

  // The three ways out; each runs the shutdown sequence.
  void OnOK();
  void OnCancel();
  void OnDestroy();
  // The user logs off or the system shuts down: the shutdown sequence, and
  // the rendezvous file goes with the area it names.
  void OnEndSession();

  // The pointers that reported in the last second, for the operator's overview.
  std::vector<ReportingPointer> ReportingPointers();

  bool IsRunning() const { return running_; }
  // The key that phones' reports must carry, fixed from the initialisation
  // on; empty when the class has none.
  const std::string& AccessKey() const;
  const std::string& StatusText() const { return statusText_; }
  HttpServer& Server();

 private:
  // DialogFieldExchange: the members and the view's controls.
  DialogFields& Fields() override { return fields_; }
  bool TakeFieldsFromControls() override;
  void PushFieldsToControls() override;
  std::optional<WindowPlacementBytes> CurrentPlacement() override {
    return view_.CurrentPlacement();
  }

  bool TakeIntegerField(int control, int low, int high, int& value);
  bool CreateSharedMemory();
  void KeepAreaPublished();
  void FillPointerList();
  int LoadPage();
  void ChooseAccessKey();
  void NoticeStartOutcome();
  void OnErrorLogLine(const ErrorLogLine& line);
  void RunShutdownSequence();
  void ShowNotSaved(const char* what, const SettingsWriteFailure& failure);
  void SetStatus(const char* text);
  void ShowPhoneAddresses();

  Application& app_;
  DialogView& view_;
  MouseAndKeys& mouse_;
  CursorEmulation cursorEmulation_;  // follows the selected pointer's reports
  ProtocolPointerStatus pointerStatus_;
  EngineStatistics statistics_;
  TimerTick tick_;
  DialogFields fields_;
  std::string statusText_ = "Idle...";
  std::string clickableAddress_;  // the address line's first address; empty when phones have none
  bool running_ = false;
  std::atomic<bool> addressInUse_{false};  // heard from the engine during a start
  bool settingsLoaded_ = false;            // an early end never overwrites the stored settings
  bool rendezvousPublished_ = false;       // the rendezvous file on disk is ours
  bool keyPublished_ = false;              // the key file on disk holds our key
  bool keyUnavailable_ = false;            // a key was asked for and none could be made
};
