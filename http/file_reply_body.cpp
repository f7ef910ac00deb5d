#include "http/file_reply_body.h"

#include <algorithm>

std::unique_ptr<FileReplyBody> FileReplyBody::Open(const std::string& path) {
  auto body = std::make_unique<FileReplyBody>();
  if (!body->file_.Open(path, platform::FileOpenMode::kSharedReadWrite)) return nullptr;
  body->size_ = body->file_.Size();
  body->left_ = body->size_;
  return body;
}

int FileReplyBody::Read(char* buffer, std::size_t capacity, std::size_t& got) {
  got = 0;
  const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(capacity, left_));
  if (wanted == 0) return 0;
  const platform::Result read = file_.Read(buffer, wanted, got);
  left_ -= got;
  return read.Code();
}

bool AppendReplyBody(std::string& text, ReplyBody& body) {
  char piece[16384];
  for (;;) {
    std::size_t got = 0;
    if (body.Read(piece, sizeof piece, got) != 0) return false;
    if (got == 0) return true;
    text.append(piece, got);
  }
}
