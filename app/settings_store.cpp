#include "app/settings_store.h"

#include <algorithm>
#include <climits>
#include <cstdint>

#include "platform/profile.h"

namespace {

constexpr const char* kProfileSection = "Settings";

platform::Result WriteInteger(const std::string& file, const char* section, const char* key,
                              int value) {
  return platform::ProfileWriteString(file, section, key, std::to_string(value).c_str());
}

// The operator's settings files may be links to the files they keep elsewhere.
using platform::SettingsFileTarget;

// Keeps the first failure of a row of writes.
class FirstFailure {
 public:
  void Note(const std::string& file, platform::Result result) {
    if (!result && !failure_) failure_ = SettingsWriteFailure{file, result};
  }
  const std::optional<SettingsWriteFailure>& Failure() const { return failure_; }

 private:
  std::optional<SettingsWriteFailure> failure_;
};

}  // namespace

std::optional<SettingsWriteFailure> SaveSettings(
    const SettingsFiles& files, const ServerFields& fields,
    const std::optional<WindowPlacementBytes>& placement) {
  const std::string& profileName = files.profileFile;
  const std::string profile = SettingsFileTarget(profileName);
  FirstFailure failure;
  failure.Note(profileName, platform::ProfileWriteString(profile, kProfileSection, "Server Root",
                                                         fields.homeDirectory.c_str()));
  failure.Note(profileName, platform::ProfileWriteString(profile, kProfileSection, "Defindex",
                                                         fields.defaultIndexFile.c_str()));
  failure.Note(profileName, WriteInteger(profile, kProfileSection, "Port", fields.port));
  failure.Note(profileName,
               WriteInteger(profile, kProfileSection, "PTO", fields.persistenceTimeoutSeconds));
  if (placement) {
    failure.Note(files.iniFile,
                 platform::ProfileWriteStruct(SettingsFileTarget(files.iniFile), "General",
                                              "WindowPos", placement->data(), placement->size()));
  }
  return failure.Failure();
}

// The operator's choices under [Control], written where the INI leads.
static platform::Result StoreControlValue(const std::string& iniFile, const char* key,
                                   const std::string& value) {
  return platform::ProfileWriteString(SettingsFileTarget(iniFile), "Control", key, value.c_str());
}

platform::Result StoreSelectedPointer(int pointer, const std::string& iniFile) {
  return StoreControlValue(iniFile, "SelectedPointer", std::to_string(pointer));
}

platform::Result StoreShowPointers(bool on, const std::string& iniFile) {
  return StoreControlValue(iniFile, "ShowPointers", on ? "1" : "0");
}

platform::Result StorePointerLabels(PointerLabels labels, const std::string& iniFile) {
  return StoreControlValue(iniFile, "PointerLabels", PointerLabelsWord(labels));
}

platform::Result StoreCursorScreen(const std::string& choice, const std::string& iniFile) {
  return StoreControlValue(iniFile, "CursorScreen", choice);
}

int PersistenceTimeoutMs(int seconds) {
  const std::int64_t milliseconds = std::int64_t{seconds} * 1000;
  return static_cast<int>(std::clamp<std::int64_t>(milliseconds, 0, INT_MAX));
}
