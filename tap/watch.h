// TVXTap's watch: every pointer report as it arrives, across server restarts.
#pragma once

#include <string>

// Prints reports from the area published in folder until Ctrl+C or SIGTERM.
// When its server ends, says so and waits for the next server to publish an
// area there. fromNow skips the reports queued before the watch began.
// The process exit code.
int Watch(const std::string& folder, bool json, bool fromNow);
