// A millisecond tick source that only the test moves, for servers that time
// connections out: a test can pass a whole timeout without waiting for it.
#pragma once

#include <atomic>
#include <cstdint>

inline std::atomic<std::uint32_t> fakeTicks{0};

inline std::uint32_t FakeTicks() {
  return fakeTicks.load();
}
