#include "common/access_key.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

#include "common/ini_values.h"
#include "platform/file_read.h"
#include "platform/files.h"
#include "platform/random.h"

namespace {

constexpr std::string_view kKeyAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr std::size_t kLongestKey = 128;
// Bytes from here up would make the first letters likelier than the rest.
constexpr unsigned kUnbiasedByteLimit = 256 - 256 % kKeyAlphabet.size();

}  // namespace

bool IsAutoAccessKey(std::string_view setting) {
  return IsAutoText(setting);
}

bool IsAccessKeyMadeAtStart(std::string_view setting) {
  return IsAutoAccessKey(setting) || (!setting.empty() && !IsUsableAccessKey(setting));
}

bool IsUsableAccessKey(std::string_view key) {
  if (key.empty() || key.size() > kLongestKey) return false;
  for (const char c : key) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '_' && c != '~' &&
        c != '-') {
      return false;
    }
  }
  return true;
}

std::optional<std::string> NewRandomAccessKey() {
  std::string key;
  while (key.size() < kRandomAccessKeyLength) {
    std::uint8_t bytes[32];
    if (!platform::FillRandomBytes(bytes, sizeof bytes)) return std::nullopt;
    for (const std::uint8_t byte : bytes) {
      if (byte >= kUnbiasedByteLimit) continue;
      key += kKeyAlphabet[byte % kKeyAlphabet.size()];
      if (key.size() == kRandomAccessKeyLength) break;
    }
  }
  return key;
}

platform::Result PublishAccessKey(const std::string& keyFile, const PublishedAccessKey& published) {
  return platform::WritePrivateFile(keyFile, published.key + "\n" +
                                                 std::to_string(published.processId) + "\n" +
                                                 published.areaName + "\n");
}

std::optional<PublishedAccessKey> ReadPublishedAccessKey(const std::string& keyFile) {
  std::string contents;
  std::uint64_t size = 0;
  if (platform::ReadWholeFile(keyFile, platform::FileOpenMode::kExclusiveRead, 4096, contents,
                              size) != platform::FileReadResult::kComplete) {
    return std::nullopt;
  }
  std::string lines[3];
  std::size_t at = 0;
  for (std::string& line : lines) {
    const std::size_t end = std::min(contents.find('\n', at), contents.size());
    line = contents.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    at = std::min(end + 1, contents.size());
  }
  if (!IsUsableAccessKey(lines[0])) return std::nullopt;
  PublishedAccessKey published{lines[0], 0, lines[2]};
  const std::string& id = lines[1];
  if (!id.empty() && id.size() <= 10 &&
      id.find_first_not_of("0123456789") == std::string::npos) {
    const unsigned long long value = std::stoull(id);
    if (value <= 0xFFFFFFFFull) published.processId = static_cast<std::uint32_t>(value);
  }
  return published;
}
