// How both logs keep their size: a log that has reached its limit is set
// aside as "<log>.1" (replacing an older one) before the next line, so that
// a new one begins and at most two of its size stay on disk.
#pragma once

#include <cstdint>
#include <string>

// setAsidePath is the caller's scratch text, kept so that the check itself
// allocates nothing.
void SetLogAsideWhenFull(const std::string& path, std::uint64_t limit, std::string& setAsidePath);
