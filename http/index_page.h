// The phone's start page, held in memory and served for the index page
// requests. Loaded on the dialog's thread while client threads serve it: each
// load publishes a new immutable version (plain, compressed and its tag
// together), so a reply carries one version whole.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>

#include "http/served_body.h"

class DiagnosticLog;

class IndexPage {
 public:
  // Largest page that loads (decimal, not 100 KiB); exactly this many bytes do.
  // The page's texts in every language are a file of their own (PageTexts),
  // so a new language never takes room from the page.
  static constexpr std::size_t kCapacity = 100000;

  IndexPage();

  // The page as last loaded; empty until the first successful load. The
  // returned copy stays valid and unchanged whatever loads follow.
  std::shared_ptr<const std::string> Current() const;
  // The same version with its compressed copy and tag.
  std::shared_ptr<const ServedBody> Snapshot() const;

  // Compresses the page here, on the loading thread, never per request.
  void Publish(std::string contents);

 private:
  // Guards only the copy of the pointer: libstdc++ 12's atomic<shared_ptr>
  // releases its internal lock with relaxed order, which is not enough.
  mutable std::mutex lock_;
  std::shared_ptr<const ServedBody> page_;
};

// Reads the file whole when it has at most capacity bytes. On success the
// bytes replace contents and the result is 1; on failure contents keeps its
// old value and the result is 0. Every step is traced in the log.
int ReadFileIntoMemory(const std::string& path, std::size_t capacity, std::string& contents,
                       DiagnosticLog& log);

// Loads the index page file (the ".TXT" beside the program) into page. A
// failed load keeps the page served so far. 1 on success, 0 on failure.
int ReReadFiles(IndexPage& page, const std::string& indexPageFile, DiagnosticLog& log);
