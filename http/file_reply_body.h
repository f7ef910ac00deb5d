// A file of the server root as a reply body: opened when the request is
// answered, read in pieces while the reply goes out.
#pragma once

#include <memory>
#include <string>

#include "platform/file_read.h"
#include "server/reply_body.h"

class FileReplyBody : public ReplyBody {
 public:
  // The file opened for reading and writing (read-only files are not
  // served), or none when it cannot be opened so.
  static std::unique_ptr<FileReplyBody> Open(const std::string& path);

  std::uint64_t Size() const override { return size_; }
  // Never more than Size bytes in all, even when the file grew meanwhile.
  int Read(char* buffer, std::size_t capacity, std::size_t& got) override;

 private:
  platform::FileReader file_;
  std::uint64_t size_ = 0;
  std::uint64_t left_ = 0;
};

// Appends what is left of body to text, for callers that want a whole reply.
// False when the body could not be read to its announced end.
bool AppendReplyBody(std::string& text, ReplyBody& body);
