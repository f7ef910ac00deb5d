// A file the server sends from memory, prepared once when it is loaded:
// plain, gzip-compressed, and named by a tag that changes with its bytes.
// Requests only choose between them, so no reply compresses anything.
#pragma once

#include <string>
#include <string_view>

struct ServedBody {
  std::string plain;
  std::string gzip;       // empty when compressing failed or saved nothing
  std::string entityTag;  // W/"..." from a hash of plain, quotes included
};

ServedBody MakeServedBody(std::string plain);

// The gzip member of plain; 1 on success, 0 (compressed left empty) on failure.
int GzipCompress(std::string_view plain, std::string& compressed);
