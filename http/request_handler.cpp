#include "http/request_handler.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <memory>

#include "common/ascii.h"
#include "common/diagnostic_log.h"
#include "http/browser_icon.h"
#include "http/content_negotiation.h"
#include "http/favicon.h"
#include "http/file_reply_body.h"
#include "http/http_date.h"
#include "http/index_page.h"
#include "http/page_texts.h"
#include "http/reply_format.h"
#include "http/report_batch.h"
#include "http/request_path.h"

namespace {

constexpr int kTraceRoutes = 3;
constexpr int kTraceHeaders = 4;

// Header names and connection options are case-insensitive: browsers send
// "Connection: keep-alive".
constexpr std::string_view kKeepAliveRequest = "\nconnection: keep-alive";
constexpr std::string_view kCloseRequest = "\nconnection: close";
constexpr std::string_view kNotImplementedPage = "/mna.html";
constexpr std::string_view kNotFoundPage = "fnf.html";
constexpr std::string_view kIconType = "image/x-icon";
constexpr std::string_view kTextsType = "text/plain; charset=utf-8";
constexpr std::string_view kTextsRoute = "/texts";
constexpr std::string_view kWantedLanguages = "want=";
// The page shows a text of its own; this is for a person who opens the address.
constexpr std::string_view kForbiddenText = "This class needs its code: scan the QR code again.\n";

// Lower-case copy of the request path. Pointer reports (30 characters), full
// batches of them (774) and most other paths fit the inline area, so the
// report routes do not allocate.
class LowerCasePath {
 public:
  explicit LowerCasePath(std::string_view path) {
    char* target = inline_.data();
    if (path.size() > inline_.size()) {
      overflow_.resize(path.size());
      target = overflow_.data();
    }
    for (std::size_t i = 0; i < path.size(); ++i) target[i] = AsciiLower(path[i]);
    view_ = std::string_view(target, path.size());
  }
  LowerCasePath(const LowerCasePath&) = delete;
  LowerCasePath& operator=(const LowerCasePath&) = delete;

  std::string_view View() const { return view_; }

 private:
  std::array<char, 1024> inline_;
  std::string overflow_;
  std::string_view view_;
};

}  // namespace

// What one request has been parsed into; lives on the handling thread's stack.
struct RequestHandler::Request {
  std::string_view status = kStatusOk;
  std::string_view requestPath;  // letter case as received; names the file
  std::string_view routingPath;  // lower case; selects the route
  std::string_view contentType;
  std::string_view date;
  bool keepAlive = false;  // the connection's flag after this request
  std::string_view text;   // the whole request, headers included
  ClientAddress client;
};

RequestHandler::RequestHandler(const IndexPage& indexPage, DiagnosticLog& log, const int& logLevel,
                               UtcClock utcClock, ReportAccess::TickSource ticks)
    : indexPage_(indexPage),
      log_(log),
      logLevel_(logLevel),
      utcClock_(std::move(utcClock)),
      access_(log, std::move(ticks)) {}

void RequestHandler::Trace(int level, std::string_view message) const {
  if (Tracing(level)) log_.WriteLogLine(message);
}

// A path comes from the network and can be as long as a request: only its
// start is traced, marked as cut, with its length.
void RequestHandler::TracePath(std::string_view path) const {
  if (!Tracing(kTraceRoutes)) return;
  if (path.size() <= kTracedPathLength) {
    log_.WriteLogLine(path);
    return;
  }
  char line[kTracedPathLength + 64];
  std::memcpy(line, path.data(), kTracedPathLength);
  const int mark = std::snprintf(line + kTracedPathLength, sizeof line - kTracedPathLength,
                                 "... (cut, %zu bytes)", path.size());
  log_.WriteLogLine(std::string_view(line, kTracedPathLength + static_cast<std::size_t>(mark)));
}

RequestHandler::Outcome RequestHandler::Handle(std::string_view requestText, std::string& reply,
                                               int& keepAlive, const ClientAddress& client) {
  std::unique_ptr<ReplyBody> body;
  const Outcome outcome = Handle(requestText, reply, body, keepAlive, client);
  if (body) AppendReplyBody(reply, *body);
  return outcome;
}

RequestHandler::Outcome RequestHandler::Handle(std::string_view requestText, std::string& reply,
                                               std::unique_ptr<ReplyBody>& body, int& keepAlive,
                                               const ClientAddress& client) {
  Trace(kTraceRoutes, "Entered ParseRequest");

  const std::size_t firstBlank = requestText.find(' ');
  if (firstBlank == std::string_view::npos) return Outcome::kNoBlank;
  const std::string_view method = requestText.substr(0, firstBlank);

  Request request;
  request.text = requestText;
  request.client = client;
  std::string pathWithIndexFile;  // only for a request of "/"
  if (method == "GET") {
    const std::size_t secondBlank = requestText.find(' ', firstBlank + 1);
    if (secondBlank == std::string_view::npos) return Outcome::kNoSecondBlank;
    request.requestPath = requestText.substr(firstBlank + 1, secondBlank - firstBlank - 1);
    if (request.requestPath == "/") {
      pathWithIndexFile = "/" + defaultIndexFile_;
      request.requestPath = pathWithIndexFile;
    }
  } else {
    request.status = kStatusNotImplemented;
    request.requestPath = kNotImplementedPage;
  }

  if (ContainsIgnoringCase(requestText, kKeepAliveRequest)) {
    keepAlive = 1;
  } else if (ContainsIgnoringCase(requestText, kCloseRequest)) {
    keepAlive = 0;
  }
  request.keepAlive = keepAlive != 0;
  request.contentType = mimeTypes_.ContentTypeFor(request.requestPath);

  char dateArea[kHttpDateCapacity];
  request.date = FormatHttpDate(utcClock_(), dateArea);

  const LowerCasePath routingPath(request.requestPath);
  request.routingPath = routingPath.View();
  Trace(kTraceRoutes, "Converted request file name to lower case:");
  TracePath(request.routingPath);

  const std::string_view route = request.routingPath;
  if (route.empty() || route == "/index.htm" || route == "/index.html") {
    ServeIndexPage(request, reply);
    return Outcome::kReplied;
  }
  Trace(kTraceRoutes, "not empty and not index.htm and not index.html");
  if (route.starts_with("/favicon.ico")) {
    ServeIcon(request, reply);
    return Outcome::kReplied;
  }
  if (route == kTextsRoute ||
      (route.starts_with(kTextsRoute) && route[kTextsRoute.size()] == '?')) {
    ServeTexts(request, reply, body, keepAlive);
    return Outcome::kReplied;
  }
  Trace(kTraceRoutes, "not favicon.ico");
  if (route.starts_with("/tolvex")) return ServeReport(request, reply);
  Trace(kTraceRoutes, "not tolvex");
  if (IsBatchRoute(route)) return ServeBatch(request, reply);
  if (nameRoute_ != nullptr && route.starts_with(kNameRoute)) return ServeName(request, reply);
  ServeFile(request, reply, body, keepAlive);
  return Outcome::kReplied;
}

void RequestHandler::ServeIndexPage(const Request& request, std::string& reply) const {
  Trace(kTraceRoutes, "return index.html");
  // One snapshot for header and body: a reload meanwhile cannot mix them.
  const std::shared_ptr<const ServedBody> page = indexPage_.Snapshot();
  const std::size_t sent = ServePrepared(request, *page, "text/html", kCachePage, reply);
  if (Tracing(kTraceRoutes)) {
    char line[260];
    std::snprintf(line, sizeof line, "returning %zu bytes for /index.html", sent);
    log_.WriteLogLine(line);
  }
}

void RequestHandler::ServeIcon(const Request& request, std::string& reply) const {
  Trace(kTraceRoutes, "return favicon.ico");
  // Prepared at the first request for it; the icon never changes. Browsers
  // get the two images a tab shows, a ninth of the file: the page brings a
  // drawn icon of its own for every larger size, and a first visit must
  // stay small for a class that joins at once.
  static const ServedBody icon = MakeServedBody(IcoWithWidths(FaviconData(), {32, 16}));
  const std::size_t sent = ServePrepared(request, icon, kIconType, kCacheIcon, reply);
  if (Tracing(kTraceRoutes)) {
    char line[260];
    std::snprintf(line, sizeof line, "returning %zu bytes for /favicon.ico", sent);
    log_.WriteLogLine(line);
  }
}

// The language comes from the query's want= list; the lower-case routing
// path does, as tags ignore letter case.
void RequestHandler::ServeTexts(const Request& request, std::string& reply,
                                std::unique_ptr<ReplyBody>& body, int& keepAlive) const {
  Trace(kTraceRoutes, "return texts");
  const std::shared_ptr<const PageTextCatalogue> texts =
      pageTexts_ != nullptr ? pageTexts_->Snapshot() : nullptr;
  std::string_view wanted;
  const std::size_t at = request.routingPath.find(kWantedLanguages);
  if (at != std::string_view::npos) {
    wanted = request.routingPath.substr(at + kWantedLanguages.size());
    wanted = wanted.substr(0, wanted.find('&'));
  }
  const ServedBody* chosen = texts ? texts->For(wanted) : nullptr;
  if (chosen == nullptr) {
    ServeNotFound(request, reply, body, keepAlive);
    return;
  }
  ServePrepared(request, *chosen, kTextsType, kCachePage, reply);
}

std::size_t RequestHandler::ServePrepared(const Request& request, const ServedBody& body,
                                          std::string_view contentType,
                                          std::string_view cacheControl, std::string& reply) const {
  ReplyHead head{request.status, request.date, 0, request.keepAlive, contentType, cacheControl};
  head.entityTag = body.entityTag;
  head.lastModified = body.lastModified;
  head.variesWithEncoding = true;
  if (HoldsCurrentVersion(request.text, body.entityTag, body.lastModified)) {
    head.status = kStatusNotModified;
    head.withoutBody = true;
    Trace(kTraceHeaders, std::string_view(reply.data(), AssignReplyHeader(reply, head)));
    return 0;
  }
  const bool compressed = !body.gzip.empty() && AcceptsGzip(request.text);
  const std::string& bytes = compressed ? body.gzip : body.plain;
  head.contentLength = bytes.size();
  if (compressed) head.contentEncoding = "gzip";
  const std::size_t headerLength = AssignReplyHeader(reply, head);
  Trace(kTraceHeaders, std::string_view(reply.data(), headerLength));
  reply.append(bytes);
  return bytes.size();
}

// The access key applies to every route that reaches the protocol. False:
// reply holds the refusal.
bool RequestHandler::Admitted(const Request& request, std::string& reply) {
  const ReportAccess::Verdict verdict = access_.Check(request.text);
  if (verdict == ReportAccess::Verdict::kAdmitted) return true;
  access_.NoteRefusal(request.client, verdict);
  AssignReplyHeader(reply, {kStatusForbidden,
                            request.date,
                            kForbiddenText.size(),
                            request.keepAlive,
                            "text/plain",
                            {}});
  reply.append(kForbiddenText);
  return false;
}

void RequestHandler::AssignReportAnswer(const Request& request, const ResponseText& response,
                                        std::string& reply) const {
  AssignReplyHeader(
      reply, {request.status, request.date, response.size(), request.keepAlive, "text/html", {}});
  reply.append(response.data(), response.size());
  if (Tracing(kTraceHeaders)) {
    char line[260];
    std::snprintf(line, sizeof line, "returning %zu bytes ResponseText %.*s", response.size(),
                  static_cast<int>(response.size()), response.data());
    log_.WriteLogLine(line);
  }
}

RequestHandler::Outcome RequestHandler::ServeReport(const Request& request, std::string& reply) {
  if (!Admitted(request, reply)) return Outcome::kRefused;
  const ResponseText response =
      reportHandler_ != nullptr
          ? reportHandler_->HandlePointerReport(request.routingPath, request.client.Packed())
          : kNoCommandResponse;
  AssignReportAnswer(request, response, reply);
  return Outcome::kReplied;
}

// A batch is checked whole before any of it is applied: a phone must not see
// half of its changes taken.
RequestHandler::Outcome RequestHandler::ServeBatch(const Request& request, std::string& reply) {
  if (!Admitted(request, reply)) return Outcome::kRefused;
  ReportBatch batch;
  if (!ParseReportBatch(request.routingPath, batch)) {
    char text[96];
    const std::size_t length = FormatBatchFault(batch, text, sizeof text);
    // The log line goes without the text's own line end.
    access_.NoteRefusal(request.client, std::string_view(text, length > 0 ? length - 1 : 0));
    AssignReplyHeader(
        reply, {kStatusBadRequest, request.date, length, request.keepAlive, "text/plain", {}});
    reply.append(text, length);
    return Outcome::kReplied;
  }
  const ResponseText response =
      reportHandler_ != nullptr
          ? ForwardReportBatch(batch, *reportHandler_, request.client.Packed())
          : kNoCommandResponse;
  AssignReportAnswer(request, response, reply);
  return Outcome::kReplied;
}

// The name is in a header, which no log line shows; refusals are logged
// like refused reports, by their reason alone.
RequestHandler::Outcome RequestHandler::ServeName(const Request& request, std::string& reply) {
  if (!Admitted(request, reply)) return Outcome::kRefused;
  const NameVerdict verdict =
      nameRoute_->Handle(request.routingPath, request.text, request.client.Packed());
  if (verdict.status == 204) {
    ReplyHead head{kStatusNoContent, request.date, 0, request.keepAlive, "text/plain", {}};
    head.withoutBody = true;
    AssignReplyHeader(reply, head);
    return Outcome::kReplied;
  }
  char why[64];
  std::snprintf(why, sizeof why, "name: %.*s", static_cast<int>(verdict.reason.size()),
                verdict.reason.data());
  access_.NoteRefusal(request.client, why);
  AssignReplyHeader(reply, {verdict.status == 409 ? kStatusConflict : kStatusBadRequest,
                            request.date,
                            verdict.reason.size(),
                            request.keepAlive,
                            "text/plain",
                            {}});
  reply.append(verdict.reason);
  return Outcome::kReplied;
}

void RequestHandler::ServeFile(const Request& request, std::string& reply,
                               std::unique_ptr<ReplyBody>& body, int& keepAlive) const {
  // Without a root there are no files to serve; paths that could reach
  // outside the root are answered as missing files.
  if (serverRoot_.empty() || !IsPathInsideRoot(request.requestPath)) {
    ServeNotFound(request, reply, body, keepAlive);
    return;
  }
  // The root ends in a separator; the path's own leading "/" is dropped so
  // that the pair cannot turn into a network path.
  std::string path = serverRoot_;
  path.append(request.requestPath.substr(1));
  std::unique_ptr<FileReplyBody> file = FileReplyBody::Open(path);
  if (!file) {
    ServeNotFound(request, reply, body, keepAlive);
    return;
  }
  const std::size_t headerLength = AssignReplyHeader(reply, {request.status,
                                                             request.date,
                                                             static_cast<std::size_t>(file->Size()),
                                                             request.keepAlive,
                                                             request.contentType,
                                                             {}});
  Trace(kTraceHeaders, std::string_view(reply.data(), headerLength));
  body = std::move(file);
}

// The page is the root's fnf.html, sent after the header like any file.
void RequestHandler::ServeNotFound(const Request& request, std::string& reply,
                                   std::unique_ptr<ReplyBody>& body, int& keepAlive) const {
  std::unique_ptr<FileReplyBody> page;
  if (!serverRoot_.empty()) page = FileReplyBody::Open(serverRoot_ + std::string(kNotFoundPage));
  AssignNotFoundHeader(reply, kStatusNotFound, request.date, page ? page->Size() : 0);
  if (page) body = std::move(page);
  keepAlive = 0;
}
