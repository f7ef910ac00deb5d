#include "http/mime_type_map.h"

#include <algorithm>

#include "common/ascii.h"

bool MimeTypeMap::AsciiCaseInsensitiveLess::operator()(std::string_view left,
                                                       std::string_view right) const {
  return std::lexicographical_compare(left.begin(), left.end(), right.begin(), right.end(),
                                      [](char a, char b) {
                                        return static_cast<unsigned char>(AsciiLower(a)) <
                                               static_cast<unsigned char>(AsciiLower(b));
                                      });
}

// The rows in their historical order: a later row replaces the type of an
// extension that an earlier row already named (rtf, arj).
MimeTypeMap::MimeTypeMap() {
  Add("application/msword", {"doc"});
  Add("application/octet-stream", {"bin", "dll", "exe"});
  Add("application/pdf", {"pdf"});
  Add("application/pkcs7-mime", {"p7c"});
  Add("application/postscript", {"ai", "eps", "ps"});
  Add("application/rtf", {"rtf"});
  Add("application/vnd.fdf", {"fdf"});
  Add("application/x-arj", {"arj"});
  Add("application/x-gzip", {"gz"});
  Add("application/x-java-class", {"class"});
  Add("application/x-javascript", {"js"});
  Add("application/x-lzh", {"lzh"});
  Add("application/x-ms-shortcut", {"lnk"});
  Add("application/x-tar", {"tar"});
  Add("application/x-winhelp", {"hlp"});
  Add("application/x-x509-ca-cert", {"cert"});
  Add("application/zip", {"zip"});
  Add("application/x-compressed", {"cab"});
  Add("application/x-compressed", {"arj"});
  Add("audio/aiff", {"aif", "aifc", "aiff"});
  Add("audio/basic", {"au", "snd"});
  Add("audio/midi", {"mid", "rmi"});
  Add("audio/mpeg", {"mp3"});
  Add("audio/voxware", {"vox"});
  Add("audio/wav", {"wav"});
  Add("audio/x-pn-realaudio", {"ra", "ram"});
  Add("image/bmp", {"bmp"});
  Add("image/gif", {"gif"});
  Add("image/jpeg", {"jpeg", "jpg"});
  Add("image/tiff", {"tif", "tiff"});
  Add("image/xbm", {"xbm"});
  Add("model/vrml", {"wrl"});
  Add("text/html", {"htm", "html"});
  Add("text/plain", {"c", "cpp", "def", "h", "txt"});
  Add("text/richtext", {"rtx", "rtf"});
  Add("text/x-java-source", {"java"});
  Add("text/css", {"css"});
  Add("video/mpeg", {"mpeg", "mpg", "mpe"});
  Add("video/msvideo", {"avi"});
  Add("video/quicktime", {"mov", "qt"});
  Add("wwwserver/html-ssi", {"shtml"});
  Add("wwwserver/isapi", {"asa", "asp", "cfm", "dbm", "isa", "plx", "url", "cgi", "php", "wcgi"});
}

void MimeTypeMap::Add(std::string_view type, std::initializer_list<std::string_view> extensions) {
  for (const std::string_view extension : extensions) {
    types_.insert_or_assign(std::string(extension), std::string(type));
  }
}

std::string_view MimeTypeMap::ContentTypeFor(std::string_view requestPath) const {
  const std::size_t dot = requestPath.rfind('.');
  if (dot == std::string_view::npos) return kDefaultType;
  const auto found = types_.find(requestPath.substr(dot + 1));
  return found == types_.end() ? kDefaultType : std::string_view(found->second);
}
