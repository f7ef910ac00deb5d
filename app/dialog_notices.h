// The longer lines the dialog tells the operator, in the program's words.
#pragma once

#include <string>

#include "app/session.h"

// What a start came to; iniFile and title name where Port is set and what to restart.
std::string StartNotice(StartOutcome outcome, int port, const ProgramPaths& paths);
// "Vibrate Short Single (A0) queued for pointer 07." and whether a phone holds it.
std::string VibrateNotice(int code, int pointer, bool reportedLately);
// "The settings could not be saved in FILE: REASON."
std::string NotSavedNotice(const char* what, const SettingsWriteFailure& failure);
