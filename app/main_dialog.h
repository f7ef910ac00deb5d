// The server program's one dialog, without its window: front ends call its
// intents and render its state (DialogState); every decision is made here,
// once, and carried out by the session. All on the dialog's thread.
#pragma once

#include <string>

#include "app/dialog_intents.h"
#include "app/dialog_view.h"
#include "app/pad_area.h"
#include "app/session.h"
#include "app/timer_tick.h"

class MainDialog final : public DialogIntents {
 public:
  static constexpr int kIdOk = 1;
  static constexpr int kIdCancel = 2;
  static constexpr unsigned kTimerPeriodMs = 200;

  MainDialog(Session& session, DialogView& view, MouseAndKeys& screens);
  ~MainDialog() override { session_.SetEvents(nullptr); }
  MainDialog(const MainDialog&) = delete;
  MainDialog& operator=(const MainDialog&) = delete;

  // False when the program cannot go on (the dialog has ended).
  bool OnInitDialog();
  // The user logs off or the system shuts down: the shutdown sequence, and
  // the rendezvous file goes with the area it names.
  void OnEndSession();
  bool IsRunning() const { return state_.running; }
  // The key that phones' reports must carry, fixed from the initialisation
  // on; empty when the class has none.
  const std::string& AccessKey() const { return session_.AccessKey(); }

  void Start() override;
  void Stop() override;
  void Reset() override;
  void ReloadPage() override;
  void BrowseForHomeDirectory() override;
  void SetHomeDirectory(const std::string& folder) override;
  void SetPort(int port) override;
  void SelectPointer(int pointer) override;
  void SetCursorEmulation(bool on) override;
  void SetPointerOverlay(bool on) override;
  void SetPointerLabels(PointerLabels labels) override;
  void RenamePointer(int pointer, const std::string& name) override;
  void FreeNumber(int pointer) override;
  void SetCursorScreen(const CursorScreen& screen) override;
  void MonitorsChanged() override;
  void Vibrate(int code) override;
  void ShowPhoneAddressCode() override;
  void Tick() override;
  void OnEscape() override;
  void OnOK() override;
  void OnCancel() override;
  void OnDestroy() override;

  const DialogState& State() override;
  std::vector<platform::Monitor> Monitors() override;
  std::vector<CursorScreenChoice> CursorScreenChoices() override;
  void ReadPointerSightings(PointerSightings& sightings) override {
    session_.ReadPointerSightings(sightings);
  }

 private:
  bool Refuse(const std::string& notice, const std::string& message);
  void TakeFieldsFromControls();
  std::optional<std::size_t> LoadPage();
  void RunShutdownSequence();
  void StoreChoice(const platform::Result& stored);
  void SetStatus(const char* text);
  void PushFields();
  void ShowPhoneAddresses();
  void RefuseCursorEmulation(const char* reason);
  void NoticeDisplayChange();
  void ApplyCursorScreen();
  void Render();
  const DialogState& MirrorOwners();
  void RefreshLabels();

  Session& session_;
  Settings& settings_;  // the session's
  DialogView& view_;
  PadArea padArea_;  // the part of the desktop the pad covers
  DialogState state_;
  TimerTick tick_;
  const SessionEvents events_;        // what the session tells goes to the view
  bool settingsLoaded_ = false;       // an early end never overwrites the stored settings
  bool displayLostTold_ = false;      // the operator heard that the display is gone
  bool emulationLimitShown_ = false;  // said once per run
  std::uint32_t labelledNames_ = 0;   // the names' version the labels were made from
};
