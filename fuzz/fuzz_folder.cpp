#include "fuzz/fuzz_folder.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/process.h"

namespace {

std::string MakeFolder() {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                       ("tvx-fuzz-" + std::to_string(platform::ProcessId()));
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  std::filesystem::create_directories(folder);
  return folder.string();
}

void RemoveFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(FuzzFolder(), ignored);
}

}  // namespace

// Never destroyed: the removal at exit runs after static destructors.
const std::string& FuzzFolder() {
  static const std::string* const folder = [] {
    auto* path = new std::string(MakeFolder());
    std::atexit(RemoveFolder);
    return path;
  }();
  return *folder;
}

void FuzzFailure(std::string_view message) {
  std::fprintf(stderr, "fuzz check failed: %.*s\n", static_cast<int>(message.size()),
               message.data());
  std::abort();
}
