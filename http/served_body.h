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
  // A date that stands for this version as its tag does: browsers
  // revalidate what an HTTP/1.0 server sent by its date alone. Taken from
  // the same hash, between 2000 and 2020, so that no clock is needed and a
  // page loaded again unchanged keeps it.
  std::string lastModified;
};

ServedBody MakeServedBody(std::string plain);

// The gzip member of plain; 1 on success, 0 (compressed left empty) on failure.
int GzipCompress(std::string_view plain, std::string& compressed);
