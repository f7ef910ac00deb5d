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
  void FillPointerList();
  int LoadPage();
  void NoticeStartOutcome();
  void OnErrorLogLine(const ErrorLogLine& line);
  void RunShutdownSequence();
  void ShowNotSaved(const char* what, const SettingsWriteFailure& failure);
  void SetStatus(const char* text);

  Application& app_;
  DialogView& view_;
  MouseAndKeys& mouse_;
  ProtocolPointerStatus pointerStatus_;
  EngineStatistics statistics_;
  TimerTick tick_;
  DialogFields fields_;
  std::string statusText_ = "Idle...";
  bool running_ = false;
  std::atomic<bool> addressInUse_{false};  // heard from the engine during a start
  bool settingsLoaded_ = false;            // an early end never overwrites the stored settings
  bool rendezvousPublished_ = false;       // the rendezvous file on disk is ours
};
