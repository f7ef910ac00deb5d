// Any bytes as a request text, handled by the real request handler over a
// server root that holds a few files, a read-only file, a FIFO and symbolic
// links that point outside it. Every reply must be well formed, and the file
// reading facility is wrapped at link time so that opening anything outside the
// root stops the run. The operator's own links in the root are followed, as a
// web server follows them: only a path through one of them may end outside.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <climits>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "common/diagnostic_log.h"
#include "fuzz/fuzz_folder.h"
#include "http/index_page.h"
#include "http/request_handler.h"
#include "platform/file_read.h"

namespace {

using platform::FileOpenMode;

std::string g_root;          // as given to the handler, with a trailing "/"
std::string g_resolvedRoot;  // with a trailing "/"
int g_wrappedOpens = 0;

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// The root, and beside it a folder whose files no request may reach.
std::string MakeRoot() {
  const std::filesystem::path base = FuzzFolder();
  const std::filesystem::path root = base / "www";
  const std::filesystem::path outside = base / "outside";
  std::filesystem::create_directories(root / "sub");
  std::filesystem::create_directories(outside);
  WriteFile(outside / "secret.txt", "secret");
  WriteFile(root / "a.txt", "alpha");
  WriteFile(root / "Photo.JPG", std::string(300, '\xff'));
  WriteFile(root / "empty.html", "");
  WriteFile(root / "sub" / "page.css", "p{}");
  WriteFile(root / "mna.html", "<p>not implemented</p>");
  // Longer than the reply's header area.
  WriteFile(root / "fnf.html", "<p>" + std::string(3000, 'n') + "</p>");
  WriteFile(root / "readonly.txt", "locked");
  std::filesystem::permissions(root / "readonly.txt", std::filesystem::perms::owner_read);
  mkfifo((root / "pipe").c_str(), 0666);
  std::filesystem::create_directory_symlink(outside, root / "out");
  std::filesystem::create_symlink(outside / "secret.txt", root / "secret-link.txt");
  std::filesystem::create_symlink("loop", root / "loop");

  char resolved[PATH_MAX];
  if (realpath(root.c_str(), resolved) == nullptr) FuzzFailure("cannot resolve the root");
  g_resolvedRoot = std::string(resolved) + "/";
  g_root = root.string() + "/";
  return g_root;
}

// A path that leaves the root by its own components (a "..", another
// folder), or resolves outside it other than through the operator's links,
// means the handler opened, or was about to open, a file it must never hand
// out. Paths that do not resolve cannot be opened either.
void CheckInsideRoot(const std::string& path) {
  if (!path.starts_with(g_root)) FuzzFailure("a path outside the server root: " + path);
  const std::filesystem::path below(path.substr(g_root.size()));
  for (const std::filesystem::path& part : below) {
    if (part == "..") FuzzFailure("a path that climbs out of the server root: " + path);
  }
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved) == nullptr) return;
  if (std::string_view(resolved).starts_with(g_resolvedRoot)) return;
  const std::filesystem::path first = *below.begin();
  if (first != "out" && first != "secret-link.txt") {
    FuzzFailure("a file outside the server root was opened: " + std::string(resolved));
  }
}

bool ParseContentLength(std::string_view head, std::size_t& length) {
  constexpr std::string_view kField = "\r\nContent-Length: ";
  const std::size_t at = head.find(kField);
  if (at == std::string_view::npos) return false;
  const char* first = head.data() + at + kField.size();
  const char* last = head.data() + head.size();
  const auto [end, error] = std::from_chars(first, last, length);
  return error == std::errc() && end != first &&
         std::string_view(end, last - end).starts_with("\r\n");
}

void CheckReply(const std::string& reply) {
  if (!reply.starts_with("HTTP/1.0 ")) FuzzFailure("reply without an HTTP/1.0 status line");
  const std::size_t headEnd = reply.find("\r\n\r\n");
  if (headEnd == std::string::npos) FuzzFailure("reply header not ended by a blank line");
  std::size_t length = 0;
  if (!ParseContentLength(std::string_view(reply).substr(0, headEnd + 2), length)) {
    FuzzFailure("reply without a Content-Length");
  }
  if (reply.size() - headEnd - 4 != length) FuzzFailure("Content-Length differs from the body");
}

}  // namespace

// The link step wraps the facility (-Wl,--wrap): the real one keeps this name.
// A member function takes its object as the first argument.
bool RealFileReaderOpen(platform::FileReader* reader, const std::string& path,
                        FileOpenMode mode) asm(TVX_REAL_FILE_READER_OPEN);

bool WrappedFileReaderOpen(platform::FileReader* reader, const std::string& path,
                           FileOpenMode mode) asm(TVX_WRAP_FILE_READER_OPEN);

bool WrappedFileReaderOpen(platform::FileReader* reader, const std::string& path,
                           FileOpenMode mode) {
  ++g_wrappedOpens;
  CheckInsideRoot(path);
  return RealFileReaderOpen(reader, path, mode);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static DiagnosticLog log;
  static IndexPage indexPage;
  static const int logLevel = 4;  // every trace line formatted; the log itself is off
  static RequestHandler* handler = [] {
    log.SetEnabled(false);
    indexPage.Publish("<html>phone</html>");
    auto* made = new RequestHandler(indexPage, log, logLevel);
    made->SetServerRoot(MakeRoot());
    made->SetDefaultIndexFile("a.txt");
    // The wrap must be in place, or the outside check would silently check nothing.
    std::string reply;
    int keepAlive = 0;
    made->Handle("GET /a.txt HTTP/1.0\r\n\r\n", reply, keepAlive);
    if (g_wrappedOpens == 0) FuzzFailure("the file reading facility is not wrapped");
    return made;
  }();

  // The first byte chooses the connection's keep-alive flag before the request.
  if (size == 0) return 0;
  int keepAlive = data[0] & 1;
  const std::string_view request(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string reply = "left over from the previous request";
  const RequestHandler::Outcome outcome = handler->Handle(request, reply, keepAlive);
  if (outcome == RequestHandler::Outcome::kReplied || outcome == RequestHandler::Outcome::kRefused) {
    CheckReply(reply);
  }
  if (keepAlive != 0 && keepAlive != 1) FuzzFailure("keep-alive flag neither 0 nor 1");
  return 0;
}
