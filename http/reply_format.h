// The texts of an HTTP/1.0 reply: the header that precedes every body and the
// self-contained not-found reply.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

inline constexpr std::string_view kServerName = "OrbelWebServer/0.1b";

inline constexpr std::string_view kStatusOk = "200 OK";
inline constexpr std::string_view kStatusNotImplemented = "501 Not Implemented";
inline constexpr std::string_view kStatusNotFound = "404 Resource not found";
inline constexpr std::string_view kStatusForbidden = "403 Forbidden";
inline constexpr std::string_view kStatusBadRequest = "400 Bad Request";
inline constexpr std::string_view kStatusNotModified = "304 Not Modified";
inline constexpr std::string_view kStatusNoContent = "204 No Content";
inline constexpr std::string_view kStatusConflict = "409 Conflict";

// Room for a reply header; every header this server writes fits.
inline constexpr std::size_t kHeaderAreaSize = 2048;

struct ReplyHead {
  std::string_view status;
  std::string_view date;
  std::size_t contentLength = 0;
  bool keepAlive = false;  // "Keep-Alive" or "close" in the Connection line
  std::string_view contentType;
  std::string_view cacheControl;  // the Cache-Control line's value; empty: no such line
  // For a body that is sent compressed when asked: its tag, the encoding of
  // this reply ("gzip" or empty) and the Vary line that caches need for it.
  std::string_view entityTag{};  // empty: no ETag line
  std::string_view lastModified{};  // empty: no Last-Modified line
  std::string_view contentEncoding{};
  bool variesWithEncoding = false;
  bool withoutBody = false;  // a 304: no Content-Length, as no body follows
};

// How long browsers keep the program's own files: the page is asked for
// again at every visit, as a new version of the program may bring a new one;
// the icon is kept for a day.
inline constexpr std::string_view kCachePage = "no-cache";
inline constexpr std::string_view kCacheIcon = "max-age=86400";

// Replaces reply with the header; the body is appended by the caller. Returns
// the header's length. Reuses reply's capacity: no allocation once it is large
// enough.
std::size_t AssignReplyHeader(std::string& reply, const ReplyHead& head);

// Replaces reply with the not-found reply's own header (no Connection line);
// the page, every byte of it, follows.
void AssignNotFoundHeader(std::string& reply, std::string_view status, std::string_view date,
                          std::uint64_t pageLength);
