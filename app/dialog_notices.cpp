#include "app/dialog_notices.h"

#include <cstdio>

#include "common/number_text.h"
#include "pointer/vibrations.h"

std::string StartNotice(StartOutcome outcome, int port, const ProgramPaths& paths) {
  const std::string portText = std::to_string(port);
  switch (outcome) {
    case StartOutcome::kRunning:
      return "Server started on port " + portText + ".";
    case StartOutcome::kPortInUse:
      // The port field is fixed while the program runs: a new port takes a restart.
      return "The server is not running: port " + portText +
             " is in use by another program. End that program and start again, or change Port "
             "under [Control] in " +
             paths.iniFile + " and restart " + paths.title + ".";
    case StartOutcome::kNoAccessKey:
      return "The server is not running: AccessKey asks for a new key, and the system gave no "
             "random numbers to make one. Set a key of your own as AccessKey under [Control] in " +
             paths.iniFile + " and restart " + paths.title + ".";
    case StartOutcome::kFailed:
      break;
  }
  return "The server is not running: it could not start; the error log lines above say why.";
}

std::string VibrateNotice(int code, int pointer, bool reportedLately) {
  char codeText[8];
  std::snprintf(codeText, sizeof codeText, "%02X", static_cast<unsigned>(code & 0xFF));
  const Vibration* vibration = FindVibration(code);
  const char* caption = vibration != nullptr ? vibration->caption : "Command";
  return std::string(caption) + " (" + codeText + ") queued for pointer " + TwoDigits(pointer) +
         (reportedLately ? "." : "; no phone has reported on it in the last second.");
}

std::string NotSavedNotice(const char* what, const SettingsWriteFailure& failure) {
  return std::string(what) + " could not be saved in " + failure.file + ": " +
         platform::FailureText(failure.result) + ".";
}
