// What runs behind the dialog: the settings, the log, the shared memory
// area, the key file, the HTTP server, the class's pointers and the cursor.
// MainDialog asks it for what the operator wants and shows what comes of it;
// ServerSession is the program's, tests give a fake.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/settings_store.h"
#include "app/timer_tick.h"
#include "common/program_paths.h"
#include "platform/network_addresses.h"
#include "platform/result.h"
#include "pointer/cursor_control.h"
#include "pointer/pointer_protocol.h"

// What the session tells the dialog of its own accord. The session knows
// no dialog: whoever listens fills these in.
struct SessionEvents {
  // A line for the operator: what the session did, or why it could not.
  std::function<void(const std::string&)> notice;
  // A line the engine has just written to its error log; on the engine's threads.
  std::function<void(std::string_view)> engineErrorLine;
};

enum class OpenOutcome {
  kOpened,
  kAlreadyRunning,  // another copy holds the area; its files are left alone
  kNoArea,          // the area could not be made
};

enum class StartOutcome {
  kRunning,
  kPortInUse,
  kFailed,       // the engine's error log lines say why
  kNoAccessKey,  // a new key was asked for and the system gave no random numbers
};

// The timer tick's sources are the session's: the pointers' silence and the
// selected one's status, and the server's statistics.
class Session : public PointerStatusSource, public StatisticsSource {
 public:
  // Null: nobody listens. Set while the server is stopped.
  virtual void SetEvents(const SessionEvents* events) = 0;
  virtual const ProgramPaths& Paths() const = 0;
  virtual Settings& Values() = 0;
  virtual CursorControl& Cursor() = 0;

  // Program start: the settings read, a fresh log, the area made and
  // published, every pointer silent. Why it did not open, in the
  // operator's words, goes into why.
  virtual OpenOutcome Open(std::string& why) = 0;
  // A line for the diagnostic log.
  virtual void Log(std::string_view line) = 0;
  // The class's key for this run, and the key file that tells Codeplate.
  virtual void ChooseAccessKey() = 0;
  // Empty when the class has none.
  virtual const std::string& AccessKey() const = 0;
  // The page's size, or empty when it could not be loaded (the page served
  // so far stays).
  virtual std::optional<std::size_t> ReloadPage() = 0;

  // With the settings' fields as they are now.
  virtual StartOutcome StartServer() = 0;
  virtual void StopServer() = 0;
  virtual void ResetStatistics() = 0;
  // Makes the area anew when another process removed its name or cut it short.
  virtual void KeepAreaPublished() = 0;
  // Program end: the area closed and the key file gone; at the end of the
  // user's session the rendezvous file goes with the area it names.
  virtual void Close(bool sessionEnds) = 0;

  virtual std::optional<SettingsWriteFailure> SaveSettings(
      const std::optional<WindowPlacementBytes>& placement) = 0;
  [[nodiscard]] virtual platform::Result StoreSelectedPointer(int pointer) = 0;
  [[nodiscard]] virtual platform::Result StoreShowPointers(bool on) = 0;
  [[nodiscard]] virtual platform::Result StorePointerLabels(PointerLabels labels) = 0;
  [[nodiscard]] virtual platform::Result StoreCursorScreen(const std::string& choice) = 0;

  virtual void QueueVibrateCommand(int code) = 0;
  virtual bool HasReportedLately(int pointer) = 0;
  virtual std::vector<ReportingPointer> ReadReportingPointers() = 0;
  virtual void ReadPointerSightings(PointerSightings& sightings) = 0;
  // With an access key: reports refused for the lack of it since the start.
  virtual std::uint64_t RefusedReports() = 0;
  // The PC's IPv4 addresses for the phones, asked anew at each start.
  virtual std::vector<platform::NetworkAddress> LocalAddresses() = 0;

  // The names the phones gave their pointers, for views to show. Never to
  // be logged or written anywhere: these are often children's names.
  virtual const PointerNames& Names() = 0;
  // The teacher's hand. Freeing a number tells its phone once to pick
  // another, and its name goes; both are logged without the name.
  virtual void FreeNumber(int pointer) = 0;
  virtual PointerNames::Refusal RenamePointer(int pointer, std::string_view name) = 0;
};
