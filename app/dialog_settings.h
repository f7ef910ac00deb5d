// The dialog's own fields and where they are stored: the per-application
// profile (section Settings) and, for the window placement and the selected
// pointer, the program INI.
#pragma once

#include <optional>
#include <string>

#include "app/settings.h"
#include "platform/result.h"

struct DialogFields {
  std::string homeDirectory;  // shown; stored as "Server Root", never served from
  std::string defaultIndexFile;
  int port = 80;                       // accepted range 1 to 65535
  int persistenceTimeoutSeconds = 10;  // accepted range 0 to 10000
};

// What the dialog offers the load and save below.
class DialogFieldExchange {
 public:
  virtual ~DialogFieldExchange() = default;
  virtual DialogFields& Fields() = 0;
  // Controls to fields with the range checks; stops at the first failing
  // check (after showing the range message), keeping what it took so far.
  virtual bool TakeFieldsFromControls() = 0;
  virtual void PushFieldsToControls() = 0;
  // Empty: the stored placement stays as it is.
  virtual std::optional<WindowPlacementBytes> CurrentPlacement() = 0;
};

struct SettingsFiles {
  std::string iniFile;      // beside the program
  std::string profileFile;  // the per-application profile
};

// A settings write that failed: the file and the system's reason.
struct SettingsWriteFailure {
  std::string file;
  platform::Result result;
};

void LoadDialogSettings(Settings& settings, const SettingsFiles& files,
                        DialogFieldExchange& dialog);
// The first write that failed, if one did; the others are made all the same.
std::optional<SettingsWriteFailure> SaveDialogSettings(const SettingsFiles& files,
                                                       DialogFieldExchange& dialog);
platform::Result StoreSelectedPointer(int pointer, const std::string& iniFile);
platform::Result StoreShowPointers(bool on, const std::string& iniFile);
platform::Result StoreCursorScreen(const std::string& choice, const std::string& iniFile);

// The persistence timeout as the engine takes it: milliseconds from 0 (no
// timeout) to the largest int. A stored value may lie far outside the field's
// range, so the product must not overflow; a negative one means no timeout.
int PersistenceTimeoutMs(int seconds);
