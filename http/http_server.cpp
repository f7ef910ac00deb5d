#include "http/http_server.h"

#include "platform/paths.h"

std::string WithTrailingSeparator(std::string root) {
  if (root.empty() || root.back() != platform::PathSeparator()) root += platform::PathSeparator();
  return root;
}

HttpServer::HttpServer(const IndexPage& indexPage, DiagnosticLog& log, const int& logLevel,
                       RequestHandler::UtcClock utcClock)
    : requests_(indexPage, log, logLevel, std::move(utcClock)) {}

HttpServer::~HttpServer() = default;

void HttpServer::SetPointerReportHandler(PointerReportHandler* handler) {
  requests_.SetPointerReportHandler(handler);
}

void HttpServer::SetNameRoute(NameRoute* route) {
  requests_.SetNameRoute(route);
}

void HttpServer::SetPageTexts(const PageTexts* texts) {
  requests_.SetPageTexts(texts);
}

void HttpServer::SetAccessKey(std::string key) {
  requests_.SetAccessKey(std::move(key));
}

const std::string& HttpServer::AccessKey() const {
  return requests_.AccessKey();
}

std::uint64_t HttpServer::RefusedReports() const {
  return requests_.RefusedReports();
}

void HttpServer::SetStartHook(std::function<void()> hook) {
  startHook_ = std::move(hook);
}

int HttpServer::StartServer(std::string serverRoot, std::string defaultIndexFile, int port,
                            int persistenceTimeoutMs) {
  // No root configured means no files, not the whole file system.
  requests_.SetServerRoot(serverRoot.empty() ? std::string()
                                             : WithTrailingSeparator(std::move(serverRoot)));
  requests_.SetDefaultIndexFile(std::move(defaultIndexFile));
  if (startHook_) startHook_();
  return Run(port, persistenceTimeoutMs);
}

int HttpServer::OnClientAccepted(const char*, std::uint16_t) {
  return 0;
}

int HttpServer::OnReplySent(std::uint32_t) {
  return 0;
}

int HttpServer::IsRequestComplete(std::string_view request) {
  return request.ends_with("\r\n\r\n") ? 1 : 0;
}

std::size_t HttpServer::CompleteRequestLength(std::string_view collected) {
  constexpr std::string_view kEmptyLine = "\r\n\r\n";
  const std::size_t end = collected.find(kEmptyLine);
  return end == std::string_view::npos ? 0 : end + kEmptyLine.size();
}

int HttpServer::ParseRequest(std::string_view request, std::string& reply, int& keepAlive) {
  return Answer(requests_.Handle(request, reply, keepAlive));
}

int HttpServer::ParseRequestWithBody(std::string_view request, const ClientAddress& client,
                                     std::string& reply, std::unique_ptr<ReplyBody>& body,
                                     int& keepAlive) {
  return Answer(requests_.Handle(request, reply, body, keepAlive, client));
}

int HttpServer::Answer(RequestHandler::Outcome outcome) {
  switch (outcome) {
    case RequestHandler::Outcome::kReplied:
      return 1;
    case RequestHandler::Outcome::kRefused:
      return kRefusedClient;
    case RequestHandler::Outcome::kNoBlank:
      WriteLog(kErrorLogFileName, "No 'space' found in Request String #2", "ParseRequest", 0);
      return 0;
    case RequestHandler::Outcome::kNoSecondBlank:
      WriteLog(kErrorLogFileName, "No 'space' found in Request String #1", "ParseRequest", 0);
      return 0;
  }
  return 0;
}
