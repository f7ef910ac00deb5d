// The objects TVXHandvane creates once at start-up and hands to the dialog:
// paths, version, settings, logs, the shared memory channel, the pointer
// protocol, the HTTP server and the mouse.
#pragma once

#include <string>

#include "app/dialog_settings.h"
#include "app/settings.h"
#include "common/diagnostic_log.h"
#include "common/program_paths.h"
#include "http/http_server.h"
#include "http/pointer_protocol.h"
#include "platform/version.h"
#include "pointer/shared_memory_channel.h"

class Application {
 public:
  // paths: the files beside the program; profileFile: the per-application profile.
  Application(ProgramPaths programPaths, std::string profileFile);

  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  SettingsFiles settingsFiles() const { return {paths.iniFile, profileFile}; }

  ProgramPaths paths;
  std::string profileFile;
  platform::ProgramVersion version;
  Settings settings;
  DiagnosticLog log;
  SharedMemoryChannel channel;
  PointerProtocol protocol;
  HttpServer server;
};
