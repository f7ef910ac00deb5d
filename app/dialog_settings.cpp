#include "app/dialog_settings.h"

#include <algorithm>
#include <climits>
#include <cstdint>

#include "platform/profile.h"

namespace {

constexpr const char* kProfileSection = "Settings";

void WriteInteger(const std::string& file, const char* section, const char* key, int value) {
  platform::ProfileWriteString(file, section, key, std::to_string(value).c_str());
}

}  // namespace

void LoadDialogSettings(Settings& settings, const SettingsFiles& files,
                        DialogFieldExchange& dialog) {
  settings.defaultIndexFile = platform::ProfileReadString(
      files.profileFile, kProfileSection, "Defindex", "index.htm", kIniValueBufferSize);
  settings.persistenceTimeoutSeconds =
      platform::ProfileReadInt(files.profileFile, kProfileSection, "PTO", 10);

  DialogFields& fields = dialog.Fields();
  fields.defaultIndexFile = settings.defaultIndexFile;
  fields.persistenceTimeoutSeconds = settings.persistenceTimeoutSeconds;
  // The profile's own "Server Root" and "Port" are written but never shown.
  fields.homeDirectory = settings.serverRoot;
  fields.port = settings.port;
  dialog.PushFieldsToControls();
}

void SaveDialogSettings(const SettingsFiles& files, DialogFieldExchange& dialog) {
  dialog.TakeFieldsFromControls();  // a failed range check still saves what was taken
  const DialogFields& fields = dialog.Fields();
  platform::ProfileWriteString(files.profileFile, kProfileSection, "Server Root",
                               fields.homeDirectory.c_str());
  platform::ProfileWriteString(files.profileFile, kProfileSection, "Defindex",
                               fields.defaultIndexFile.c_str());
  WriteInteger(files.profileFile, kProfileSection, "Port", fields.port);
  WriteInteger(files.profileFile, kProfileSection, "PTO", fields.persistenceTimeoutSeconds);

  const std::optional<WindowPlacementBytes> placement = dialog.CurrentPlacement();
  if (!placement) return;
  platform::ProfileWriteStruct(files.iniFile, "General", "WindowPos", placement->data(),
                               placement->size());
}

void StoreSelectedPointer(int pointer, const std::string& iniFile) {
  WriteInteger(iniFile, "Control", "SelectedPointer", pointer);
}

int PersistenceTimeoutMs(int seconds) {
  const std::int64_t milliseconds = std::int64_t{seconds} * 1000;
  return static_cast<int>(std::clamp<std::int64_t>(milliseconds, 0, INT_MAX));
}
