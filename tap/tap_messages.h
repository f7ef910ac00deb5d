// What TVXTap tells its user when it cannot do what was asked.
#pragma once

#include <string>

class SharedMemoryChannel;

// Says why the area in folder could not be opened (no such folder, no
// server, a server that has ended) and what to do; returns exit code 1.
int ReportOpenFailure(const SharedMemoryChannel& channel, const std::string& folder);
