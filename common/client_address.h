// The IPv4 address a connection came from, kept with the connection so that
// request handling can tell its clients apart.
#pragma once

#include <cstdint>
#include <cstdio>

struct ClientAddress {
  std::uint8_t bytes[4] = {};  // A.B.C.D in that order; all 0 when not known

  // From Packed()'s form.
  static ClientAddress FromPacked(std::uint32_t packed) {
    return ClientAddress{
        {static_cast<std::uint8_t>(packed >> 24), static_cast<std::uint8_t>(packed >> 16),
         static_cast<std::uint8_t>(packed >> 8), static_cast<std::uint8_t>(packed)}};
  }
  std::uint32_t Packed() const {
    return static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
           static_cast<std::uint32_t>(bytes[2]) << 8 | bytes[3];
  }
  // "A.B.C.D" into text, which holds 16 characters.
  void Format(char (&text)[16]) const {
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", bytes[0], bytes[1], bytes[2], bytes[3]);
  }
};
