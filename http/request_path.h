// Which request paths may name a file below the server root.
#pragma once

#include <string_view>

// True when path, joined to the server root, can only name something inside
// it on Linux and on Windows alike. Refused: anything not starting with "/",
// a backslash, a colon (drive letters, alternate streams), control bytes, an
// empty segment ("//", which after an empty root would read as a network
// path), a segment of only dots and blanks ("..", "...", ". ." all climb or
// vanish once Windows trims trailing dots and blanks), and Windows device
// names such as "con" or "nul.txt". No decoding takes place: "%2e%2e" is an
// ordinary file name on both systems.
bool IsPathInsideRoot(std::string_view path);
