// The objects TVXHandvane creates once at start-up and hands to the dialog:
// paths, version, settings, the diagnostic log, the shared memory channel,
// the pointer protocol, the index page and its texts, the HTTP server and where the PC's
// network addresses come from.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/settings.h"
#include "app/settings_store.h"
#include "common/diagnostic_log.h"
#include "common/program_paths.h"
#include "http/http_server.h"
#include "http/index_page.h"
#include "http/name_route.h"
#include "http/page_texts.h"
#include "platform/network_addresses.h"
#include "platform/version.h"
#include "pointer/pointer_protocol.h"
#include "pointer/shared_memory_channel.h"

class Application {
 public:
  // programPaths: the files beside the program; profileFile: the
  // per-application profile; areaName: the shared memory area's name (tests
  // give each area a name of its own).
  Application(ProgramPaths programPaths, std::string profileFile,
              std::string_view areaName = NoticeText);

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
  // The phones' names: in memory and the names area only, never in a file.
  PointerNames names;
  NameRoute nameRoute;
  IndexPage indexPage;
  PageTexts pageTexts;
  HttpServer server;
  // The PC's IPv4 addresses for the phones, asked anew at each start; tests
  // give a list of their own.
  std::function<std::vector<platform::NetworkAddress>()> localAddresses =
      platform::LocalNetworkAddresses;
};
