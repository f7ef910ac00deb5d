// The selected pointer as its last report left it: what the dialog shows.
#pragma once

#include <cstdint>

struct LiveStatus {
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::int32_t buttonL = 0;
  std::int32_t buttonR = 0;
  std::int32_t offScreen = 0;
};
