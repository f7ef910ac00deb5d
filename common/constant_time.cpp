#include "common/constant_time.h"

bool ConstantTimeEquals(std::string_view given, std::string_view secret) {
  // Every byte of the secret is looked at whatever the given text holds, and
  // differences are gathered rather than acted on.
  unsigned difference = given.size() == secret.size() ? 0u : 1u;
  for (std::size_t i = 0; i < secret.size(); ++i) {
    const unsigned char guess = i < given.size() ? static_cast<unsigned char>(given[i]) : 0u;
    difference |= guess ^ static_cast<unsigned char>(secret[i]);
  }
  return difference == 0;
}
