#include "app/settings.h"

#include "common/diagnostic_log.h"
#include "common/ini_values.h"
#include "common/pointer_limits.h"
#include "platform/profile.h"

namespace {

std::string ReadValue(const std::string& iniFile, const char* section, const char* key,
                      const char* fallback) {
  return platform::ProfileReadString(iniFile, section, key, fallback, kIniValueBufferSize);
}

bool ReadBoolean(const std::string& iniFile, const char* section, const char* key) {
  return IsBooleanTextOn(ReadValue(iniFile, section, key, "FALSE"));
}

// A value that does not start with a number leaves the setting as it is.
void ReadInteger(const std::string& iniFile, const char* section, const char* key,
                 const char* fallback, int& setting) {
  ParseLeadingInteger(ReadValue(iniFile, section, key, fallback), setting);
}

void ReadWindowPlacement(const std::string& iniFile, Settings& settings) {
  const std::size_t length = ReadValue(iniFile, "General", "WindowPos", "0").size();
  if (length != 2 * kWindowPlacementSize + 2 && length != 2 * kWindowPlacementSize + 3) return;
  WindowPlacementBytes placement{};
  if (platform::ProfileReadStruct(iniFile, "General", "WindowPos", placement.data(),
                                  placement.size())) {
    settings.windowPlacement = placement;
  }
}

}  // namespace

void ReadIni(Settings& settings, const std::string& iniPath, DiagnosticLog& log) {
  log.WriteLogLine("Entered ReadIni");
  // A link is read where it leads.
  const std::string iniFile = platform::SettingsFileTarget(iniPath);

  settings.logEnabled = ReadBoolean(iniFile, "General", "Log");
  log.SetEnabled(settings.logEnabled);
  settings.debug = ReadBoolean(iniFile, "General", "Debug");
  // Relative folders are used as written: relative to the folder the program
  // is started in, which a launcher may choose.
  settings.serverRoot =
      platform::ProfileReadString(iniFile, "Paths", "PathToWorkingDir", "", kPathBufferSize);
  settings.fields.homeDirectory = settings.serverRoot;
  settings.sharedMemoryFolder =
      platform::ProfileReadString(iniFile, "Paths", "PathToIniFolder", "", kPathBufferSize);
  ReadInteger(iniFile, "General", "LogLevel", "0", settings.logLevel);
  ReadWindowPlacement(iniFile, settings);
  settings.emulateWindowsCursorKey = ReadBoolean(iniFile, "Control", "EmulateWindowsCursor");
  ReadInteger(iniFile, "Control", "Port", "", settings.fields.port);
  settings.accessKey = ReadValue(iniFile, "Control", "AccessKey", "");
  settings.cursorScreen = ReadValue(iniFile, "Control", "CursorScreen", "");
  settings.pageLanguage = ReadValue(iniFile, "Control", "PageLanguage", "");

  int pointer = settings.selectedPointer;
  ReadInteger(iniFile, "Control", "SelectedPointer", "0", pointer);
  if (IsValidPointer(pointer)) settings.selectedPointer = pointer;

  int showPointers = 0;
  ReadInteger(iniFile, "Control", "ShowPointers", "0", showPointers);
  settings.showPointers = showPointers != 0;
  settings.pointerLabels = ParsePointerLabels(ReadValue(iniFile, "Control", "PointerLabels", ""))
                               .value_or(kDefaultPointerLabels);
}

void ReadProfile(Settings& settings, const std::string& profilePath) {
  const std::string profile = platform::SettingsFileTarget(profilePath);
  ServerFields& fields = settings.fields;
  fields.defaultIndexFile =
      ReadValue(profile, "Settings", "Defindex", fields.defaultIndexFile.c_str());
  fields.persistenceTimeoutSeconds =
      platform::ProfileReadInt(profile, "Settings", "PTO", fields.persistenceTimeoutSeconds);
}
