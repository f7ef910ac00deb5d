// Where the settings are stored: the dialog's fields in the per-application
// profile (section Settings), the window placement and the operator's
// choices under [Control] in the program INI.
#pragma once

#include <optional>
#include <string>

#include "app/settings.h"
#include "platform/result.h"

struct SettingsFiles {
  std::string iniFile;      // beside the program
  std::string profileFile;  // the per-application profile
};

// A settings write that failed: the file and the system's reason.
struct SettingsWriteFailure {
  std::string file;
  platform::Result result;
};

// The fields, and the placement unless it is empty (a view without a
// window keeps the stored one). The first write that failed, if one did;
// the others are made all the same.
std::optional<SettingsWriteFailure> SaveSettings(
    const SettingsFiles& files, const ServerFields& fields,
    const std::optional<WindowPlacementBytes>& placement);
[[nodiscard]] platform::Result StoreSelectedPointer(int pointer, const std::string& iniFile);
[[nodiscard]] platform::Result StoreShowPointers(bool on, const std::string& iniFile);
[[nodiscard]] platform::Result StorePointerLabels(PointerLabels labels,
                                                  const std::string& iniFile);
[[nodiscard]] platform::Result StoreCursorScreen(const std::string& choice,
                                                 const std::string& iniFile);

// The persistence timeout as the engine takes it: milliseconds from 0 (no
// timeout) to the largest int. A stored value may lie far outside the field's
// range, so the product must not overflow; a negative one means no timeout.
int PersistenceTimeoutMs(int seconds);
