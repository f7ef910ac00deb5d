#include "http/index_page.h"

#include <cstdio>

#include "common/diagnostic_log.h"
#include "platform/file_read.h"

IndexPage::IndexPage() : page_(std::make_shared<const ServedBody>(MakeServedBody({}))) {}

std::shared_ptr<const std::string> IndexPage::Current() const {
  std::shared_ptr<const ServedBody> version = Snapshot();
  const std::string* plain = &version->plain;
  return std::shared_ptr<const std::string>(std::move(version), plain);
}

std::shared_ptr<const ServedBody> IndexPage::Snapshot() const {
  std::lock_guard guard(lock_);
  return page_;
}

void IndexPage::Publish(std::string contents) {
  auto page = std::make_shared<const ServedBody>(MakeServedBody(std::move(contents)));
  std::lock_guard guard(lock_);
  page_.swap(page);  // the old page is released after the lock, by its last reader
}

namespace {

// Formats one trace line; paths are at most a few hundred bytes.
template <typename... Args>
void LogFormatted(DiagnosticLog& log, const char* format, Args... args) {
  char line[600];
  const int length = std::snprintf(line, sizeof line, format, args...);
  if (length < 0) return;
  log.WriteLogLine(std::string_view(line, static_cast<std::size_t>(length) < sizeof line
                                              ? static_cast<std::size_t>(length)
                                              : sizeof line - 1));
}

}  // namespace

int ReadFileIntoMemory(const std::string& path, std::size_t capacity, std::string& contents,
                       DiagnosticLog& log) {
  log.WriteLogLine("Entered ReadFileIntoMemory");
  std::string loaded;
  std::uint64_t size = 0;
  switch (platform::ReadWholeFile(path, platform::FileOpenMode::kExclusiveRead, capacity, loaded,
                                  size)) {
    case platform::FileReadResult::kCannotOpen:
      LogFormatted(log, "Can not open file %s for reading", path.c_str());
      return 0;
    case platform::FileReadResult::kTooLarge:
      LogFormatted(log, "Size of file > %zu byte!", capacity);
      return 0;
    case platform::FileReadResult::kReadFailed:
      LogFormatted(log, "Can not read file %s!", path.c_str());
      return 0;
    case platform::FileReadResult::kIncomplete:
      LogFormatted(log, "Can not read complete file %s (%zu/%llu)!", path.c_str(), loaded.size(),
                   static_cast<unsigned long long>(size));
      return 0;
    case platform::FileReadResult::kComplete:
      break;
  }
  LogFormatted(log, "Size of file: %llu byte!", static_cast<unsigned long long>(size));
  contents = std::move(loaded);
  return 1;
}

int ReReadFiles(IndexPage& page, const std::string& indexPageFile, DiagnosticLog& log) {
  std::string contents;
  if (!ReadFileIntoMemory(indexPageFile, IndexPage::kCapacity, contents, log)) return 0;
  page.Publish(std::move(contents));
  return 1;
}
