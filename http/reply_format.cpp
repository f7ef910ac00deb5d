#include "http/reply_format.h"

#include <cstdio>

namespace {

void AssignFormatted(std::string& reply, const char (&area)[kHeaderAreaSize], int length) {
  if (length < 0) length = 0;
  const auto size = static_cast<std::size_t>(length) < kHeaderAreaSize
                        ? static_cast<std::size_t>(length)
                        : kHeaderAreaSize - 1;
  reply.assign(area, size);
}

int AsInt(std::size_t size) {
  return static_cast<int>(size);
}

// Appends "name: value\r\n" when value is not empty. A full area keeps what
// fits; AssignFormatted cuts at its end.
void AppendLine(char (&area)[kHeaderAreaSize], int& length, const char* name,
                std::string_view value) {
  if (value.empty() || length < 0 || length >= AsInt(kHeaderAreaSize)) return;
  const int added = std::snprintf(area + length, kHeaderAreaSize - static_cast<std::size_t>(length),
                                  "%s: %.*s\r\n", name, AsInt(value.size()), value.data());
  if (added > 0) length += added;
}

}  // namespace

std::size_t AssignReplyHeader(std::string& reply, const ReplyHead& head) {
  char area[kHeaderAreaSize];
  char contentLength[32] = "";
  if (!head.withoutBody) {
    std::snprintf(contentLength, sizeof contentLength, "Content-Length: %zu\r\n",
                  head.contentLength);
  }
  int length =
      std::snprintf(area, sizeof area,
                    "HTTP/1.0 %.*s\r\nDate: %.*s\r\nServer: %.*s\r\nAccept-Ranges: bytes\r\n"
                    "%sConnection: %s\r\nContent-Type: %.*s\r\n",
                    AsInt(head.status.size()), head.status.data(), AsInt(head.date.size()),
                    head.date.data(), AsInt(kServerName.size()), kServerName.data(), contentLength,
                    head.keepAlive ? "Keep-Alive" : "close", AsInt(head.contentType.size()),
                    head.contentType.data());
  AppendLine(area, length, "Cache-Control", head.cacheControl);
  AppendLine(area, length, "ETag", head.entityTag);
  AppendLine(area, length, "Last-Modified", head.lastModified);
  AppendLine(area, length, "Vary", head.variesWithEncoding ? "Accept-Encoding" : "");
  AppendLine(area, length, "Content-Encoding", head.contentEncoding);
  if (length >= 0 && length < AsInt(kHeaderAreaSize)) {
    const int added =
        std::snprintf(area + length, kHeaderAreaSize - static_cast<std::size_t>(length), "\r\n");
    if (added > 0) length += added;
  }
  AssignFormatted(reply, area, length);
  return reply.size();
}

void AssignNotFoundHeader(std::string& reply, std::string_view status, std::string_view date,
                          std::uint64_t pageLength) {
  char area[kHeaderAreaSize];
  const int length = std::snprintf(
      area, sizeof area,
      "HTTP/1.0 %.*s\r\nContent-Length: %llu\r\nContent-Type: text/html\r\nDate: %.*s\r\n"
      "Server: %.*s\r\n\r\n",
      AsInt(status.size()), status.data(), static_cast<unsigned long long>(pageLength),
      AsInt(date.size()), date.data(), AsInt(kServerName.size()), kServerName.data());
  AssignFormatted(reply, area, length);
}
