// Unicode normalisation, which needs the character database that the system
// (Windows) or a library (Linux) carries. Names typed on phones arrive in
// whichever form the phone's keyboard composed: "é" as one code point or as
// "e" plus a combining accent. Composing both to NFC makes the same name the
// same bytes for every consumer, and makes the character count fair.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Writes the NFC form of utf8 into nfc. Fails (false, nfc unspecified) when
// utf8 is not valid UTF-8 or the system cannot normalise it.
bool NormalizeToNfc(std::string_view utf8, std::string& nfc);

}  // namespace platform
