// Undoes what the server compresses, so that a test can compare the body a
// browser would see with the page it was made from.
#pragma once

#include <zlib.h>

#include <string>
#include <string_view>

inline std::string Gunzipped(std::string_view gzip) {
  z_stream stream{};
  if (inflateInit2(&stream, 15 + 16) != Z_OK) return "inflateInit2 failed";  // 16: gzip wrapper
  std::string plain(200000, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(gzip.data()));
  stream.avail_in = static_cast<uInt>(gzip.size());
  stream.next_out = reinterpret_cast<Bytef*>(plain.data());
  stream.avail_out = static_cast<uInt>(plain.size());
  const int result = inflate(&stream, Z_FINISH);
  plain.resize(stream.total_out);
  inflateEnd(&stream);
  return result == Z_STREAM_END ? plain : "not a whole gzip member";
}
