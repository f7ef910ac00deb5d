#include "qrtool/page_url.h"

#include <cstdio>
#include <ostream>

#include "common/access_key.h"
#include "common/ini_values.h"
#include "common/phone_address.h"
#include "platform/profile.h"
#include "platform/shared_memory.h"

namespace {

constexpr std::size_t kPortValueBufferSize = 460;

}  // namespace

int ReadServerPort(const std::string& serverIniFile) {
  int port = 8080;
  ParseLeadingInteger(
      platform::ProfileReadString(serverIniFile, "Control", "Port", "8080", kPortValueBufferSize),
      port);
  return port;
}

std::optional<std::string> ReadServerAccessKey(const std::string& serverIniFile,
                                               const std::string& serverKeyFile,
                                               ServerLocation& server) {
  const std::string setting =
      platform::ProfileReadString(serverIniFile, "Control", "AccessKey", "", kPortValueBufferSize);
  if (!IsAccessKeyMadeAtStart(setting)) return setting;
  const std::optional<PublishedAccessKey> published = ReadPublishedAccessKey(serverKeyFile);
  if (!published) return std::nullopt;
  if (!platform::SharedMemory::IsClaimedBy(published->areaName, published->processId)) {
    server.accessKeyStale = true;
    server.staleKeyProcess = published->processId;
    return std::nullopt;
  }
  return published->key;
}

bool IsAutoUrl(std::string_view url) {
  return IsAutoText(url);
}

std::optional<std::string> PageUrl(const std::string& storedUrl, const ServerLocation& server,
                                   std::ostream& messages) {
  if (!IsAutoUrl(storedUrl)) return storedUrl;
  if (server.port < 1 || server.port > 65535) {
    messages << "URL=auto: Port=" << server.port
             << " under [Control] in TVXHandvane.INI is not a port (1 to 65535);"
                " no code for the page was written.\n";
    return std::nullopt;
  }
  if (server.addresses.empty()) {
    messages << "URL=auto: this PC has no network address, so phones could not reach it;"
                " no code for the page was written. Connect the PC to the phones' network"
                " and run Codeplate again, or put the page's address in URL.\n";
    return std::nullopt;
  }
  if (server.accessKeyStale) {
    messages << "URL=auto: TVXHandvane.KEY was left by a TVXHandvane that no longer runs"
             << (server.staleKeyProcess != 0
                     ? " (process " + std::to_string(server.staleKeyProcess) + ")"
                     : std::string())
             << ", so its key is dead; no code for the page was written. Start TVXHandvane and"
                " run Codeplate again while it runs, or set a key of your own in AccessKey.\n";
    return std::nullopt;
  }
  if (server.accessKeyUnknown) {
    messages << "URL=auto: AccessKey=auto under [Control] in TVXHandvane.INI makes a new key at"
                " every start of TVXHandvane, and no TVXHandvane running beside Codeplate has"
                " told it (TVXHandvane.KEY); no code for the page was written. Start TVXHandvane"
                " first and run Codeplate again while it runs, or set a key of your own in"
                " AccessKey.\n";
    return std::nullopt;
  }
  return PhoneAddress(LikeliestFirst(server.addresses).front().ipv4, server.port, server.accessKey);
}

std::string PointerPageUrl(std::string_view pageUrl, int pointer) {
  const std::string number = "pointer=" + std::to_string(pointer);
  const std::size_t hash = pageUrl.find('#');
  if (hash == std::string_view::npos) return std::string(pageUrl) + "#" + number;
  const std::string_view rest = pageUrl.substr(hash + 1);
  return std::string(pageUrl.substr(0, hash + 1)) + number +
         (rest.empty() ? "" : "&" + std::string(rest));
}

std::string FolderOf(std::string_view path) {
  const std::size_t separator = path.find_last_of("/\\");
  return std::string(separator == std::string_view::npos ? std::string_view()
                                                         : path.substr(0, separator + 1));
}

std::string PointerBitmapFile(std::string_view file, int pointer) {
  char name[16];
  std::snprintf(name, sizeof name, "pointer%02d.bmp", pointer);
  return FolderOf(file) + name;
}
