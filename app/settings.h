// The server program's settings record and its reader.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

class DiagnosticLog;

// The platform's window placement record, stored as checksummed struct text.
inline constexpr std::size_t kWindowPlacementSize = 44;
using WindowPlacementBytes = std::array<std::uint8_t, kWindowPlacementSize>;

// Written only on the dialog's thread; the fields that the dialog changes
// while client threads run are atomic.
struct Settings {
  bool logEnabled = true;
  int logLevel = 1;
  bool debug = false;              // read for compatibility, consulted by nothing
  std::string serverRoot;          // Paths/PathToWorkingDir
  std::string sharedMemoryFolder;  // Paths/PathToIniFolder
  std::optional<WindowPlacementBytes> windowPlacement;
  bool emulateWindowsCursorKey = false;  // read for compatibility, consulted by nothing
  int port = 8080;
  std::string accessKey;  // Control/AccessKey as written: empty, a key, or "auto"
  std::atomic<int> selectedPointer{0};
  std::string defaultIndexFile;        // profile Settings/Defindex
  int persistenceTimeoutSeconds = 10;  // profile Settings/PTO
  std::atomic<bool> cursorEmulation{false};
  bool showPointers = false;  // Control/ShowPointers: the pointer overlay
  std::string cursorScreen;  // Control/CursorScreen as written
};

// Size of the buffers the values are read through.
inline constexpr std::size_t kIniValueBufferSize = 460;
inline constexpr std::size_t kPathBufferSize = 260;

// Reads the program INI into the record and switches the log accordingly. A
// SelectedPointer outside 0 to 79 is ignored: pointer 0 stays selected. A
// relative PathToWorkingDir or PathToIniFolder is used as it is, relative to
// the folder the program is started in. An INI that is a symbolic link is read where it leads.
void ReadIni(Settings& settings, const std::string& iniFile, DiagnosticLog& log);
