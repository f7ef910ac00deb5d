// The program's one concrete server: the engine with HTTP request handling.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "http/request_handler.h"
#include "server/threaded_server.h"

class DiagnosticLog;
class IndexPage;
class PageTexts;
class PointerReportHandler;

class HttpServer : public ThreadedServer {
 public:
  // The page, the log and the log level belong to the program and outlive
  // the server. logLevel is read on every request, never written.
  HttpServer(const IndexPage& indexPage, DiagnosticLog& log, const int& logLevel,
             RequestHandler::UtcClock utcClock = platform::UtcTime);
  ~HttpServer() override;

  // These set while the server is stopped.
  void SetPointerReportHandler(PointerReportHandler* handler);
  // The phones' names; null: the route is off.
  void SetNameRoute(NameRoute* route);
  // The page's texts, which outlive the server; null for none.
  void SetPageTexts(const PageTexts* texts);
  // The class's access key that reports must carry; empty for none.
  void SetAccessKey(std::string key);
  const std::string& AccessKey() const;
  // Reports refused for a missing or wrong key since the program started.
  std::uint64_t RefusedReports() const;
  // Called by every StartServer before the server runs: the pointer protocol
  // clears its per-run tables here.
  void SetStartHook(std::function<void()> hook);

  // Stores the root (with a trailing separator added when missing) and the
  // default index file name, calls the start hook, then runs the engine.
  // Only while stopped. Returns the result of Run.
  int StartServer(std::string serverRoot, std::string defaultIndexFile, int port,
                  int persistenceTimeoutMs);

  int OnClientAccepted(const char* address, std::uint16_t portNetworkOrder) override;
  int OnReplySent(std::uint32_t bytes) override;
  // Complete once the text ends in an empty line (CR LF CR LF).
  int IsRequestComplete(std::string_view request) override;
  // A request ends at its first empty line; what follows is the next one.
  std::size_t CompleteRequestLength(std::string_view collected) override;
  // The whole reply as one text; the client threads use the next one.
  int ParseRequest(std::string_view request, std::string& reply, int& keepAlive) override;
  // A file from the root comes as body, read while it is sent.
  int ParseRequestWithBody(std::string_view request, const ClientAddress& client,
                           std::string& reply, std::unique_ptr<ReplyBody>& body,
                           int& keepAlive) override;

 private:
  RequestHandler requests_;
  int Answer(RequestHandler::Outcome outcome);

  std::function<void()> startHook_;
};

// root with the platform's separator at its end (an empty root becomes the
// separator alone).
std::string WithTrailingSeparator(std::string root);
