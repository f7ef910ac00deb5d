#include "app/application.h"

#include <utility>

#include "platform/clock.h"

Application::Application(ProgramPaths programPaths, std::string profile, std::string_view areaName)
    : paths(std::move(programPaths)),
      profileFile(std::move(profile)),
      log(paths.logFile),
      channel(areaName),
      protocol({settings.selectedPointer, settings.logLevel}, log, platform::TickCount),
      nameRoute(names,
                [this](int pointer, std::uint32_t peer) { return protocol.Holds(pointer, peer); }),
      server(indexPage, log, settings.logLevel) {
  // main has refused to start without one; tests' programs carry it too.
  static_cast<void>(platform::ReadProgramVersion(version));
  protocol.AttachChannel(&channel);
  server.SetPointerReportHandler(&protocol);
  protocol.AttachNames(&names);
  server.SetNameRoute(&nameRoute);
  server.SetPageTexts(&pageTexts);
  server.SetStartHook([this] { protocol.ResetForServerStart(); });
}
