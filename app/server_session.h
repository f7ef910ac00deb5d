// The program's session: the Application's objects run as the dialog asks.
// It owns what a running server needs beyond them: the log's start, the
// area's life (made, kept published, made anew, closed), the rendezvous
// and key files, the class's access key and the cursor.
#pragma once

#include <atomic>
#include <string>

#include "app/application.h"
#include "app/held_buttons_file.h"
#include "app/session.h"

class ServerSession final : public Session {
 public:
  // input: the system's mouse and keys, or a test's.
  ServerSession(Application& app, MouseAndKeys& input);
  // The server must have stopped: no engine thread may still be in the cursor.
  ~ServerSession() override;
  ServerSession(const ServerSession&) = delete;
  ServerSession& operator=(const ServerSession&) = delete;

  void SetEvents(const SessionEvents* events) override;
  const ProgramPaths& Paths() const override { return app_.paths; }
  Settings& Values() override { return app_.settings; }
  CursorControl& Cursor() override { return cursor_; }

  OpenOutcome Open(std::string& why) override;
  void Log(std::string_view line) override { app_.log.WriteLogLine(line); }
  void ChooseAccessKey() override;
  const std::string& AccessKey() const override { return app_.server.AccessKey(); }
  std::optional<std::size_t> ReloadPage() override;

  StartOutcome StartServer() override;
  void StopServer() override;
  void ResetStatistics() override { app_.server.ResetStatistics(); }
  void KeepAreaPublished() override;
  void Close(bool sessionEnds) override;

  std::optional<SettingsWriteFailure> SaveSettings(
      const std::optional<WindowPlacementBytes>& placement) override;
  platform::Result StoreSelectedPointer(int pointer) override;
  platform::Result StoreShowPointers(bool on) override;
  platform::Result StorePointerLabels(PointerLabels labels) override;
  platform::Result StoreCursorScreen(const std::string& choice) override;

  void QueueVibrateCommand(int code) override { app_.protocol.QueueVibrateCommand(code); }
  bool HasReportedLately(int pointer) override { return app_.protocol.HasReportedLately(pointer); }
  std::vector<ReportingPointer> ReadReportingPointers() override {
    return app_.protocol.ReadReportingPointers();
  }
  void ReadPointerSightings(PointerSightings& sightings) override {
    app_.protocol.ReadPointerSightings(sightings);
  }
  std::uint64_t RefusedReports() override { return app_.server.RefusedReports(); }
  std::vector<platform::NetworkAddress> LocalAddresses() override { return app_.localAddresses(); }

  const PointerNames& Names() override { return app_.names; }
  void FreeNumber(int pointer) override;
  PointerNames::Refusal RenamePointer(int pointer, std::string_view name) override;

  // Also drops the names of pointers silent past the persistence timeout.
  bool MarkSilentPointers(std::uint32_t now) override;
  LiveStatus ReadLiveStatus() override { return app_.protocol.ReadLiveStatus(); }
  void GetStatistics(ServerStats& stats) override { app_.server.GetStatistics(stats); }

 private:
  std::string RunningServerText();
  void StartLog();
  bool CreateSharedMemory();
  void Notice(const std::string& text);
  // Names go into the area this channel holds now, all of them at once.
  void PublishNamesToArea();
  void StopPublishingNames() { app_.names.SetListener(nullptr); }

  void ReleaseButtonsLeftHeld();

  Application& app_;
  MouseAndKeys& input_;
  HeldButtonsFile heldButtons_;  // written by the cursor's thread: made before it, kept after
  CursorControl cursor_;
  std::atomic<const SessionEvents*> events_{nullptr};
  std::atomic<bool> addressInUse_{false};  // heard from the engine during a start
  bool rendezvousPublished_ = false;       // the rendezvous file on disk is ours
  bool keyPublished_ = false;              // the key file on disk holds our key
  bool keyUnavailable_ = false;            // a key was asked for and none could be made
  // A name outlives this much silence of its pointer; 0: it stays until the
  // number passes to another phone or the server stops. As at the start.
  std::atomic<std::uint32_t> nameSilenceMs_{0};
};
