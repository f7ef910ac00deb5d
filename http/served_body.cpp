#include "http/served_body.h"

#include <zlib.h>

#include <climits>
#include <cstdint>
#include <cstdio>

#include "http/http_date.h"

namespace {

// FNV-1a: a page differs from its last version in far more than the few bits
// that could make two versions collide, and the tag need not resist anyone.
std::uint64_t HashOf(std::string_view bytes) {
  std::uint64_t hash = 14695981039346656037ull;
  for (const char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  return hash;
}

std::string EntityTagOf(std::string_view bytes) {
  char tag[32];
  const int length = std::snprintf(tag, sizeof tag, "W/\"%016llx\"",
                                   static_cast<unsigned long long>(HashOf(bytes)));
  return std::string(tag, static_cast<std::size_t>(length));
}

std::string VersionDateOf(std::string_view bytes) {
  constexpr std::int64_t kFirst = 946684800;            // 1 January 2000
  constexpr std::uint64_t kSpan = 20ull * 365 * 86400;  // about twenty years of seconds
  char area[kHttpDateCapacity];
  const std::int64_t seconds = kFirst + static_cast<std::int64_t>(HashOf(bytes) % kSpan);
  return std::string(FormatHttpDate(UtcCalendarOf(seconds), area));
}

}  // namespace

int GzipCompress(std::string_view plain, std::string& compressed) {
  compressed.clear();
  if (plain.size() > UINT_MAX / 2) return 0;
  z_stream stream{};
  // 16 added to the window bits asks for a gzip header and trailer; the
  // header's time stays 0, so a page compresses to the same bytes every time.
  if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY) !=
      Z_OK) {
    return 0;
  }
  compressed.resize(deflateBound(&stream, static_cast<uLong>(plain.size())));
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.data()));
  stream.avail_in = static_cast<uInt>(plain.size());
  stream.next_out = reinterpret_cast<Bytef*>(compressed.data());
  stream.avail_out = static_cast<uInt>(compressed.size());
  const int result = deflate(&stream, Z_FINISH);
  compressed.resize(stream.total_out);
  deflateEnd(&stream);
  if (result == Z_STREAM_END) return 1;
  compressed.clear();
  return 0;
}

ServedBody MakeServedBody(std::string plain) {
  ServedBody body;
  body.entityTag = EntityTagOf(plain);
  body.lastModified = VersionDateOf(plain);
  if (GzipCompress(plain, body.gzip) && body.gzip.size() >= plain.size()) body.gzip.clear();
  body.plain = std::move(plain);
  return body;
}
