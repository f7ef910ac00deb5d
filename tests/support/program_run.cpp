#include "tests/support/program_run.h"

#include <cstdio>
#include <filesystem>

#include "platform/paths.h"
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
