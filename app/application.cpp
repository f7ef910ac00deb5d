#include "app/application.h"

#include <utility>

#include "platform/clock.h"

Application::Application(ProgramPaths programPaths, std::string profile)
    : paths(std::move(programPaths)),
      profileFile(std::move(profile)),
      log(paths.logFile),
      protocol(settings, log, platform::TickCount),
      server(settings, log, paths) {
  platform::ReadProgramVersion(version);
  protocol.AttachChannel(&channel);
  server.SetPointerReportHandler(&protocol);
}
