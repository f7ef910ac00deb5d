// A QR code drawn with text blocks, for phones to scan off a terminal.
#pragma once

#include <string>

// Lines of UTF-8 half-block characters, two modules high per line, in
// explicit dark-on-light colours (ANSI escapes) with a quiet zone of four
// modules; empty when the text cannot be encoded.
std::string TerminalQrCode(const std::string& text);
