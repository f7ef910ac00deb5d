// A session without a server, an area or files: the dialog's and the
// console's tests set what it answers and read what was asked of it.
#pragma once

#include <string>
#include <vector>

#include "app/session.h"

class FakeSession final : public Session {
 public:
  explicit FakeSession(MouseAndKeys& input)
      : paths(BuildProgramPaths("/nowhere/TVXHandvane.exe")),
        cursor(input, settings.selectedPointer, [this] { return now; }) {}

  void SetEvents(const SessionEvents* newEvents) override { events = newEvents; }
  const ProgramPaths& Paths() const override { return paths; }
  Settings& Values() override { return settings; }
  CursorControl& Cursor() override { return cursor; }

  OpenOutcome Open(std::string& why) override {
    why = openWhy;
    return openOutcome;
  }
  void Log(std::string_view line) override { logLines.emplace_back(line); }
  void ChooseAccessKey() override { calls += "key "; }
  const std::string& AccessKey() const override { return accessKey; }
  std::optional<std::size_t> ReloadPage() override { return page; }

  StartOutcome StartServer() override {
    calls += "start:" + std::to_string(settings.fields.port) + " ";
    return startOutcome;
  }
  void StopServer() override { calls += "stop "; }
  void ResetStatistics() override { calls += "reset "; }
  void KeepAreaPublished() override {}
  void Close(bool sessionEnds) override { calls += sessionEnds ? "close-end " : "close "; }

  std::optional<SettingsWriteFailure> SaveSettings(
      const std::optional<WindowPlacementBytes>&) override {
    saved.push_back(settings.fields);
    if (!storeResult) return SettingsWriteFailure{"profile.ini", storeResult};
    return std::nullopt;
  }
  platform::Result StoreSelectedPointer(int pointer) override {
    calls += "store-pointer:" + std::to_string(pointer) + " ";
    return storeResult;
  }
  platform::Result StoreShowPointers(bool) override { return storeResult; }
  platform::Result StorePointerLabels(PointerLabels labels) override {
    calls += std::string("store-labels:") + PointerLabelsWord(labels) + " ";
    return storeResult;
  }
  platform::Result StoreCursorScreen(const std::string& choice) override {
    calls += "store-screen:" + choice + " ";
    return storeResult;
  }

  void QueueVibrateCommand(int code) override { calls += "vibrate:" + std::to_string(code) + " "; }
  bool HasReportedLately(int) override { return false; }
  std::vector<ReportingPointer> ReadReportingPointers() override { return reporting; }
  void ReadPointerSightings(PointerSightings&) override {}
  std::uint64_t RefusedReports() override { return 0; }
  std::vector<platform::NetworkAddress> LocalAddresses() override { return addresses; }

  const PointerNames& Names() override { return names; }
  void FreeNumber(int pointer) override {
    calls += "free:" + std::to_string(pointer) + " ";
    names.Clear(pointer);
  }
  PointerNames::Refusal RenamePointer(int pointer, std::string_view name) override {
    return names.Set(pointer, name);
  }

  bool MarkSilentPointers(std::uint32_t) override { return false; }
  LiveStatus ReadLiveStatus() override { return {}; }
  void GetStatistics(ServerStats&) override {}

  // A fresh report of the selected pointer, as the protocol hands it on.
  void SelectedReports(int buttonL) {
    const int selected = settings.selectedPointer;
    cursor.Follow(cursor.Aim(selected, {0x8000, 0x8000, buttonL, 0, 0}, true, true, now));
  }

  OpenOutcome openOutcome = OpenOutcome::kOpened;
  std::string openWhy;
  StartOutcome startOutcome = StartOutcome::kRunning;
  std::string accessKey;
  std::optional<std::size_t> page = 1234;
  platform::Result storeResult;
  std::vector<ReportingPointer> reporting;
  std::vector<platform::NetworkAddress> addresses;
  PointerNames names;

  std::string calls;  // what was asked, in order
  std::vector<std::string> logLines;
  std::vector<ServerFields> saved;
  const SessionEvents* events = nullptr;
  std::uint32_t now = 5000;

  Settings settings;
  ProgramPaths paths;
  CursorControl cursor;
};
