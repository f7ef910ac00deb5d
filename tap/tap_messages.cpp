#include "tap/tap_messages.h"

#include <cstdio>

#include "platform/files.h"
#include "platform/paths.h"
#include "pointer/shared_memory_channel.h"

namespace {

constexpr const char* kWhereTheFileIs =
    "--folder takes the folder that PathToIniFolder under [Paths] in TVXHandvane.INI names "
    "(the current folder when it is not given)";

// The channel's own text, without the line end some of them carry.
std::string Reason(const SharedMemoryChannel& channel) {
  std::string text = channel.GetLastErrorText();
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text.empty() ? "the area could not be opened" : text;
}

}  // namespace

int ReportOpenFailure(const SharedMemoryChannel& channel, const std::string& folder) {
  const char* name = folder.c_str();
  if (!platform::PathExists(folder)) {
    std::fprintf(stderr, "TVXTap: the folder \"%s\" does not exist. %s.\n", name, kWhereTheFileIs);
  } else if (!platform::PathExists(folder + platform::PathSeparator() + "TVXHDVMemory.INI")) {
    std::fprintf(stderr,
                 "TVXTap: no TVXHandvane server runs with its area in \"%s\" (there is no "
                 "TVXHDVMemory.INI). Start TVXHandvane, or pass the right folder: %s.\n",
                 name, kWhereTheFileIs);
  } else {
    std::fprintf(stderr,
                 "TVXTap: the server named in \"%s\" is not running any more (%s). Start "
                 "TVXHandvane again.\n",
                 name, Reason(channel).c_str());
  }
  return 1;
}
