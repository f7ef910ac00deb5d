// The site icon as browsers get it: the program's icon file cut down to the
// images that a browser tab or a phone's home screen picks from. The
// program's own window keeps every image.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

// The ICO file ico with only the images whose width is listed (256 for the
// large one), in their order. A file that does not parse comes back whole.
std::string IcoWithWidths(std::string_view ico, std::initializer_list<int> widths);
