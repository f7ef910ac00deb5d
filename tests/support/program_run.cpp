#include "tests/support/program_run.h"

#include <cstdio>
#include <filesystem>

#include "common/program_paths.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "tests/support/temp_folder.h"
#include "platform/socket_client.h"

std::string BinFolder() {
  const std::string self = platform::ProgramFilePath();
  return self.substr(0, self.find_last_of("/\\"));
}

void CopyWholeFile(const std::string& from, const std::string& to) {
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
}

std::string ReportPath(int pointer, int frame, int x, int y, bool buttonL, bool buttonR,
                       int echoedPacket) {
  char path[40];
  std::snprintf(path, sizeof path, "/tolvex100%02X%04X%04X%04X%c%c02%02X", pointer, frame, x, y,
                buttonL ? '1' : '0', buttonR ? '1' : '0', echoedPacket);
  return path;
}

std::string FetchBody(std::uint16_t port, const std::string& path) {
  platform::ClientSocket client;
  if (!client.Connect(port)) return "<no connection>";
  if (!client.SendAll("GET " + path + " HTTP/1.0\r\n\r\n")) return "<not sent>";
  std::string reply;
  char buffer[1024];
  for (int got = 0; client.ReceiveSome(buffer, sizeof buffer, 5000, got) && got > 0;) {
    reply.append(buffer, static_cast<std::size_t>(got));
  }
  const std::size_t body = reply.find("\r\n\r\n");
  return body == std::string::npos ? reply : reply.substr(body + 4);
}

int PlaceProgramCopy(const std::string& program, const std::string& testFolder) {
  const std::string folder = program.substr(0, program.find_last_of("/\\"));
  CopyWholeFile(JoinPath(BinFolder(), program.substr(folder.size() + 1)), program);
  for (const char* file : {"TVXHandvane.TXT", "TVXHandvane.LNG"}) {
    CopyWholeFile(JoinPath(BinFolder(), file), JoinPath(folder, file));
  }
  std::uint16_t port = 0;
  const std::string ini = BuildProgramPaths(program).iniFile;
  const bool placed =
      platform::SetEnvironment("XDG_CONFIG_HOME", JoinPath(testFolder, "config")) &&
      platform::SetEnvironment("XDG_STATE_HOME", JoinPath(testFolder, "state")) &&
      platform::FindFreePort(port) &&
      platform::ProfileWriteString(ini, "General", "Log", "FALSE") &&
      platform::ProfileWriteString(ini, "Paths", "PathToIniFolder", testFolder.c_str()) &&
      platform::ProfileWriteString(ini, "Control", "Port", std::to_string(port).c_str());
  return placed ? port : 0;
}

std::string ProgramOutput(const std::string& file) {
  std::string text = TempFolder::ReadAll(file);
  std::erase(text, '\r');
  return text;
}

BusyPort::BusyPort(std::uint16_t port) {
  std::uint16_t granted = 0;
  started_ = static_cast<bool>(platform::StartSocketLibrary(granted));
  listening_ = started_ && platform::CreateListeningSocket(socket_) &&
               platform::BindAnyAddress(socket_, port) && platform::Listen(socket_);
}

BusyPort::~BusyPort() {
  socket_.Close();
  if (started_) platform::StopSocketLibrary();
}
