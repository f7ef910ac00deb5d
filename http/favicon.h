// The site icon served for "/favicon.ico": the ICO file http/favicon.ico
// (made by tools/make_favicon.py), compiled into the program by the build.
#pragma once

#include <string_view>

// The whole icon file; constant for the life of the program.
std::string_view FaviconData();
