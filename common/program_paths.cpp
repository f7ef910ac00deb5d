#include "common/program_paths.h"

#include "platform/paths.h"

namespace {

std::size_t FileNameStart(std::string_view path) {
  const std::size_t separator = path.find_last_of("/\\");
  return separator == std::string_view::npos ? 0 : separator + 1;
}

}  // namespace

ProgramPaths BuildProgramPaths(std::string_view programFile) {
  const std::size_t nameStart = FileNameStart(programFile);
  const std::size_t dot = programFile.find_last_of('.');
  const bool hasExtension = dot != std::string_view::npos && dot >= nameStart;
  const std::string_view base = hasExtension ? programFile.substr(0, dot) : programFile;

  ProgramPaths paths;
  paths.programFile = std::string(programFile);
  paths.iniFile = std::string(base) + ".INI";
  paths.logFile = std::string(base) + ".LOG";
  paths.indexPageFile = std::string(base) + ".TXT";
  paths.pageTextsFile = std::string(base) + ".LNG";
  paths.keyFile = std::string(base) + ".KEY";
  paths.heldButtonsFile = std::string(base) + ".HELD";
  paths.title = std::string(base.substr(nameStart));
  return paths;
}

std::string ApplicationProfilePath(const ProgramPaths& paths) {
  return JoinPath(platform::ProfileFolder(), paths.title + ".INI");
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string joined(folder);
  if (!joined.empty() && joined.back() != '/' && joined.back() != '\\') {
    joined += platform::PathSeparator();
  }
  joined += name;
  return joined;
}
