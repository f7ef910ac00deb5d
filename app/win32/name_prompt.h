// A small modal dialog that asks the teacher for a pointer's name, built in
// memory: no resource script changes for it.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

// The name typed (UTF-8; empty: none), or nothing when the teacher
// cancelled. current is shown to edit.
std::optional<std::string> AskForPointerName(HWND owner, int pointer, const std::string& current);
