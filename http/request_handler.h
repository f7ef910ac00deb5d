// HTTP/1.0 request handling: reads the request line, picks one of eight routes
// (index page, icon, the page's texts, pointer report, batch of reports, a
// pointer's name, file from the server root, not found) and builds the whole
// reply. Runs on many client threads at once; it keeps no
// state between requests.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "common/client_address.h"
#include "http/mime_type_map.h"
#include "http/name_route.h"
#include "http/report_access.h"
#include "http/served_body.h"
#include "platform/clock.h"
#include "pointer/pointer_report_handler.h"
#include "server/reply_body.h"

class DiagnosticLog;
class IndexPage;
class PageTexts;

class RequestHandler {
 public:
  using UtcClock = std::function<platform::CalendarTime()>;

  enum class Outcome {
    kReplied,        // reply holds the whole reply, whatever its status
    kRefused,        // reply refuses a phone without the class's access key
    kNoBlank,        // the request has no blank at all
    kNoSecondBlank,  // a GET whose path is not followed by a blank
  };

  // A path is traced up to this many bytes.
  static constexpr std::size_t kTracedPathLength = 256;

  // logLevel is read on every request: 3 traces routes, 4 adds reply headers.
  // ticks time the log lines of refused reports.
  RequestHandler(const IndexPage& indexPage, DiagnosticLog& log, const int& logLevel,
                 UtcClock utcClock = platform::UtcTime,
                 ReportAccess::TickSource ticks = platform::TickCount);

  // The setters below are for the time before client threads run.
  // root must end in the platform's separator; files are looked up below it.
  // An empty root serves no files at all.
  void SetServerRoot(std::string root) { serverRoot_ = std::move(root); }
  // Served for a request of "/".
  void SetDefaultIndexFile(std::string name) { defaultIndexFile_ = std::move(name); }
  // Serves the page's texts at "/texts?want=TAG,TAG"; without them that is
  // a missing file.
  void SetPageTexts(const PageTexts* texts) { pageTexts_ = texts; }
  // Decides the report route's answer; without one it is "0000".
  void SetPointerReportHandler(PointerReportHandler* handler) { reportHandler_ = handler; }
  // Takes the phones' names on "/name/NN"; without it that path is a file's.
  void SetNameRoute(NameRoute* route) { nameRoute_ = route; }
  // With a key, reports without it are refused before the handler hears of them.
  void SetAccessKey(std::string key) { access_.SetKey(std::move(key)); }
  const std::string& AccessKey() const { return access_.Key(); }
  std::uint64_t RefusedReports() const { return access_.Refusals(); }

  // On kReplied, reply is replaced and keepAlive set to 1 when the request
  // asks for it ("\nConnection: Keep-Alive" in any letter case), to 0 when it
  // asks for the close ("\nConnection: close") or the reply is the not-found
  // reply, and otherwise left alone. A file from the root is
  // not read here: reply then holds its header and body the open file, which
  // the caller sends after it. Otherwise nothing changes. client is where the
  // request came from, for the log.
  Outcome Handle(std::string_view request, std::string& reply, std::unique_ptr<ReplyBody>& body,
                 int& keepAlive, const ClientAddress& client = {});
  // The same with any body read into reply, for callers that want one text.
  Outcome Handle(std::string_view request, std::string& reply, int& keepAlive,
                 const ClientAddress& client = {});

 private:
  struct Request;

  void ServeIndexPage(const Request& request, std::string& reply) const;
  void ServeIcon(const Request& request, std::string& reply) const;
  void ServeTexts(const Request& request, std::string& reply, std::unique_ptr<ReplyBody>& body,
                  int& keepAlive) const;
  // A prepared body: compressed when the request admits gzip, or a bodiless
  // 304 when the browser's copy is current. Returns the bytes of body sent.
  std::size_t ServePrepared(const Request& request, const ServedBody& body,
                            std::string_view contentType, std::string_view cacheControl,
                            std::string& reply) const;
  // Both return kRefused when the access key turned the phone away.
  Outcome ServeReport(const Request& request, std::string& reply);
  Outcome ServeBatch(const Request& request, std::string& reply);
  Outcome ServeName(const Request& request, std::string& reply);
  bool Admitted(const Request& request, std::string& reply);
  void AssignReportAnswer(const Request& request, const ResponseText& response,
                          std::string& reply) const;
  void ServeFile(const Request& request, std::string& reply, std::unique_ptr<ReplyBody>& body,
                 int& keepAlive) const;
  void ServeNotFound(const Request& request, std::string& reply, std::unique_ptr<ReplyBody>& body,
                     int& keepAlive) const;

  bool Tracing(int level) const { return logLevel_ >= level; }
  void Trace(int level, std::string_view message) const;
  void TracePath(std::string_view path) const;

  const IndexPage& indexPage_;
  DiagnosticLog& log_;
  const int& logLevel_;
  UtcClock utcClock_;
  std::string serverRoot_;
  std::string defaultIndexFile_;
  MimeTypeMap mimeTypes_;
  PointerReportHandler* reportHandler_ = nullptr;
  NameRoute* nameRoute_ = nullptr;
  const PageTexts* pageTexts_ = nullptr;
  ReportAccess access_;
};
