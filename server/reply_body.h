// The part of a reply that follows its text and is read only as fast as the
// connection sends it, so that a large file never sits in memory whole.
#pragma once

#include <cstddef>
#include <cstdint>

class ReplyBody {
 public:
  virtual ~ReplyBody() = default;

  // The byte count that the reply's header announced.
  virtual std::uint64_t Size() const = 0;
  // The next bytes, at most capacity. Returns 0 or an error code; got is 0
  // only at the end of the source.
  virtual int Read(char* buffer, std::size_t capacity, std::size_t& got) = 0;
};
