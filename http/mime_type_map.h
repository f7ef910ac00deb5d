// File extension to Content-Type, built once and only read afterwards.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>

class MimeTypeMap {
 public:
  MimeTypeMap();

  // Type for a request path: the text after the last dot of the whole path,
  // compared without regard to ASCII case; "text/html" when there is no dot
  // or the extension is unknown.
  std::string_view ContentTypeFor(std::string_view requestPath) const;

  std::size_t Size() const { return types_.size(); }

  static constexpr std::string_view kDefaultType = "text/html";

 private:
  // Keys are stored in lower case; the lookup lowers the other side as it
  // compares, so a request's extension needs no lower-cased copy.
  struct AsciiCaseInsensitiveLess {
    using is_transparent = void;
    bool operator()(std::string_view left, std::string_view right) const;
  };

  void Add(std::string_view type, std::initializer_list<std::string_view> extensions);

  std::map<std::string, std::string, AsciiCaseInsensitiveLess> types_;
};
