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

}  // namespace

std::size_t AssignReplyHeader(std::string& reply, const ReplyHead& head) {
  char area[kHeaderAreaSize];
  const int length = std::snprintf(
      area, sizeof area,
      "HTTP/1.0 %.*s\r\nDate: %.*s\r\nServer: %.*s\r\nAccept-Ranges: bytes\r\n"
      "Content-Length: %zu\r\nConnection: %s\r\nContent-Type: %.*s\r\n%s%.*s%s\r\n",
      AsInt(head.status.size()), head.status.data(), AsInt(head.date.size()), head.date.data(),
      AsInt(kServerName.size()), kServerName.data(), head.contentLength,
      head.keepAlive ? "Keep-Alive" : "close", AsInt(head.contentType.size()),
      head.contentType.data(),
      head.cacheControl.empty() ? "" : "Cache-Control: ", AsInt(head.cacheControl.size()),
      head.cacheControl.data(), head.cacheControl.empty() ? "" : "\r\n");
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
