// What the operator can do, as every front end asks for it: the console's
// commands and the windows' controls call these, and render State().
// MainDialog is the one that decides.
#pragma once

#include <vector>

#include "app/cursor_screen.h"
#include "app/dialog_state.h"

class DialogIntents {
 public:
  virtual ~DialogIntents() = default;

  virtual void Start() = 0;
  virtual void Stop() = 0;
  // Stops, zeroes the statistics and starts again.
  virtual void Reset() = 0;
  virtual void ReloadPage() = 0;
  // Fills the home directory field from the system's folder picker.
  virtual void BrowseForHomeDirectory() = 0;
  virtual void SetHomeDirectory(const std::string& folder) = 0;
  // The port the next Start uses.
  virtual void SetPort(int port) = 0;
  virtual void SelectPointer(int pointer) = 0;
  virtual void SetCursorEmulation(bool on) = 0;
  // The overlay of every pointer over the screen; the setting is kept.
  virtual void SetPointerOverlay(bool on) = 0;
  // Numbers alone, or numbers and names, wherever pointers are shown; kept.
  virtual void SetPointerLabels(PointerLabels labels) = 0;
  // The teacher's hand: a pointer's name (empty: none any more), and a
  // number freed, whose phone is told to pick another.
  virtual void RenamePointer(int pointer, const std::string& name) = 0;
  virtual void FreeNumber(int pointer) = 0;
  // The part of the desktop the pad covers; stored at once.
  virtual void SetCursorScreen(const CursorScreen& screen) = 0;
  // A monitor came, went or changed: the pad's part and the overlay follow.
  virtual void MonitorsChanged() = 0;
  virtual void Vibrate(int code) = 0;
  // The QR code of the address the bottom lines name.
  virtual void ShowPhoneAddressCode() = 0;
  // The timer's tick.
  virtual void Tick() = 0;
  // Escape: an open QR code's window closes first; else as Cancel.
  virtual void OnEscape() = 0;
  // The three ways out; each runs the shutdown sequence.
  virtual void OnOK() = 0;
  virtual void OnCancel() = 0;
  virtual void OnDestroy() = 0;

  // What the front ends show; the reporting pointers and the refusals are
  // read afresh.
  virtual const DialogState& State() = 0;
  // The monitors as the operator numbers them (MonitorsAsSeen).
  virtual std::vector<platform::Monitor> Monitors() = 0;
  // What the windows' "Cursor screen" menus offer, asked for as they open.
  virtual std::vector<CursorScreenChoice> CursorScreenChoices() = 0;
  // Every pointer's last report, for the overlay's frames.
  virtual void ReadPointerSightings(PointerSightings& sightings) = 0;
};
