// The files named after the program file: its INI, log, index page, the
// page's texts and key file.
#pragma once

#include <string>
#include <string_view>

struct ProgramPaths {
  std::string programFile;
  std::string iniFile;        // base + ".INI"
  std::string logFile;        // base + ".LOG"
  std::string indexPageFile;  // base + ".TXT"
  std::string pageTextsFile;  // base + ".LNG": the page's texts in every language
  std::string keyFile;        // base + ".KEY": the access key made at this start
  std::string heldButtonsFile;  // base + ".HELD": the mouse buttons this run holds down
  std::string title;          // file name without folder and extension
};

// The base is the program file path without its extension. Only a dot in the
// file name itself starts an extension: "/opt/tvx.d/TVXHandvane" keeps its
// whole name and gets "/opt/tvx.d/TVXHandvane.INI".
ProgramPaths BuildProgramPaths(std::string_view programFile);

// The per-application profile: "<title>.INI" in the system's profile folder.
std::string ApplicationProfilePath(const ProgramPaths& paths);

// folder + separator + name; the name alone when folder is empty.
std::string JoinPath(std::string_view folder, std::string_view name);
