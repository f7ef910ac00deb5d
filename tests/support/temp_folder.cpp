#include "tests/support/temp_folder.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/program_paths.h"
#include "platform/process.h"

TempFolder::TempFolder() {
  static std::atomic<int> counter{0};
  const auto base = std::filesystem::temp_directory_path();
  path_ = (base /
           ("tvx-test-" + std::to_string(platform::ProcessId()) + "-" + std::to_string(counter++)))
              .string();
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempFolder::File(const std::string& name) const {
  return JoinPath(path_, name);
}

std::string TempFolder::ReadAll(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void TempFolder::WriteAll(const std::string& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << bytes;
}
