// The server program's settings record and its reader.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "app/pointer_labels.h"

class DiagnosticLog;

// The platform's window placement record, stored as checksummed struct text.
inline constexpr std::size_t kWindowPlacementSize = 44;
using WindowPlacementBytes = std::array<std::uint8_t, kWindowPlacementSize>;

// What the dialog's edit fields show, each with the one default it has
// when no file holds it. The operator's changes take effect at the next
// Start and are stored when the program ends.
struct ServerFields {
  std::string homeDirectory;  // shown; stored as "Server Root", never served from
  std::string defaultIndexFile = "index.htm";  // profile Settings/Defindex
  int port = 8080;                     // Control/Port; accepted range 1 to 65535
  int persistenceTimeoutSeconds = 10;  // profile Settings/PTO; accepted range 0 to 10000
};

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
  std::string accessKey;  // Control/AccessKey as written: empty, a key, or "auto"
  std::atomic<int> selectedPointer{0};
  ServerFields fields;
  bool showPointers = false;  // Control/ShowPointers: the pointer overlay
  PointerLabels pointerLabels = kDefaultPointerLabels;  // Control/PointerLabels
  std::string cursorScreen;  // Control/CursorScreen as written
  // Control/PageLanguage: a language tag of the page's texts that every
  // phone of the class gets; empty for each phone's own language.
  std::string pageLanguage;
};

// Size of the buffers the values are read through.
inline constexpr std::size_t kIniValueBufferSize = 460;
inline constexpr std::size_t kPathBufferSize = 260;

// Reads the program INI into the record and switches the log accordingly. A
// SelectedPointer outside 0 to 79 is ignored: pointer 0 stays selected. A
// relative PathToWorkingDir or PathToIniFolder is used as it is, relative to
// the folder the program is started in. An INI that is a symbolic link is read where it leads.
void ReadIni(Settings& settings, const std::string& iniFile, DiagnosticLog& log);
// Reads the per-application profile's index file and timeout (section
// Settings); its "Server Root" and "Port" are written but never read.
void ReadProfile(Settings& settings, const std::string& profileFile);
