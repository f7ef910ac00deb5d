#include "qrtool/codeplate.h"

#include <optional>
#include <ostream>
#include <vector>

#include "common/diagnostic_log.h"
#include "common/ini_values.h"
#include "common/pointer_limits.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "qrtool/pointer_list.h"

namespace {

void ReadInteger(const std::string& iniFile, const char* key, const char* fallback, int& setting) {
  ParseLeadingInteger(
      platform::ProfileReadString(iniFile, "Input", key, fallback, kCodeplateValueBufferSize),
      setting);
}

// A value that fills the buffer may have been cut: it is read again through
// a larger one, until it fits or passes the longest text taken.
std::string ReadWholeValue(const std::string& iniFile, const char* section, const char* key,
                           CodeplateSettings& settings) {
  std::string value;
  for (std::size_t size = kCodeplateValueBufferSize;; size *= 2) {
    value = platform::ProfileReadString(iniFile, section, key, "", size);
    if (value.size() + 1 < size || value.size() > kCodeplateLongestText) break;
  }
  if (value.size() <= kCodeplateLongestText) return value;
  if (settings.refusal.empty()) {
    settings.refusal = std::string(key) + " under [" + section + "] in " + iniFile +
                       " is longer than " + std::to_string(kCodeplateLongestText) +
                       " characters. Nothing was written.\n";
  }
  return {};
}

// A path cut short would name another file: it is refused instead.
std::string ReadPath(const std::string& iniFile, const char* key, CodeplateSettings& settings) {
  std::string path = ReadWholeValue(iniFile, "Output", key, settings);
  if (path.size() >= kCodeplateTextBufferSize && settings.refusal.empty()) {
    settings.refusal = std::string(key) + " under [Output] in " + iniFile + " is " +
                       std::to_string(path.size()) + " characters long; paths may have at most " +
                       std::to_string(kCodeplateTextBufferSize - 1) +
                       ". Nothing was written.\n";
  }
  return path;
}

// The page's code and the pointer codes of an earlier run carry a key that
// no running server takes: every phone that scanned them would be refused.
void RemoveCodesOfDeadKey(const CodeplateSettings& settings, std::ostream& messages) {
  std::vector<std::string> kept;
  const auto remove = [&kept](const std::string& file) {
    if (platform::PathExists(file) && !platform::RemoveFile(file)) kept.push_back(file);
  };
  if (!settings.file2.empty()) remove(settings.file2);
  for (int pointer = 0; pointer < kPointerCount; ++pointer) {
    remove(PointerBitmapFile(settings.file2, pointer));
  }
  if (kept.empty()) return;
  messages << "These codes of an earlier run carry a key no server takes and could not be"
              " removed; do not hand them out:";
  for (const std::string& file : kept) messages << " " << file;
  messages << "\n";
}

}  // namespace

void ReadIni(CodeplateSettings& settings, const std::string& iniFile, DiagnosticLog& log) {
  log.WriteLogLine("Entered ReadIni");

  settings.logEnabled = IsBooleanTextOn(
      platform::ProfileReadString(iniFile, "General", "Log", "FALSE", kCodeplateValueBufferSize));
  log.SetEnabled(settings.logEnabled);

  ReadInteger(iniFile, "NumberOfBMPPixelsPerQRCodePixel", "8", settings.style.moduleSize);
  ReadInteger(iniFile, "PixelValueRed", "0", settings.style.red);
  ReadInteger(iniFile, "PixelValueGreen", "0", settings.style.green);
  ReadInteger(iniFile, "PixelValueBlue", "0", settings.style.blue);
  settings.accessPoint = ReadWholeValue(iniFile, "Input", "AccessPoint", settings);
  settings.url = ReadWholeValue(iniFile, "Input", "URL", settings);
  settings.pointers = ReadWholeValue(iniFile, "Input", "Pointers", settings);
  settings.file1 = ReadPath(iniFile, "File1", settings);
  settings.file2 = ReadPath(iniFile, "File2", settings);
}

bool WriteCodeplateImages(const CodeplateSettings& settings, const ServerLocation& server,
                          std::ostream& messages) {
  if (!settings.refusal.empty()) {
    messages << settings.refusal;
    return false;
  }
  const std::optional<std::string> pageUrl = PageUrl(settings.url, server, messages);
  const PointerList pointerList = ParsePointerList(settings.pointers);
  if (!pointerList.valid) {
    messages << "Pointers=" << settings.pointers << ": \"" << pointerList.badItem
             << "\" is not a pointer number (0 to 79) or a range of them such as 7-9;"
                " no pointer code was written.\n";
  }
  bool allWritten = pageUrl.has_value() && pointerList.valid;

  if (!WriteQrCodeBitmap(settings.accessPoint.c_str(), settings.file1, settings.style, messages))
    allWritten = false;
  if (!pageUrl) {
    if (server.accessKeyStale || server.accessKeyUnknown) RemoveCodesOfDeadKey(settings, messages);
    return false;
  }
  if (!WriteQrCodeBitmap(pageUrl->c_str(), settings.file2, settings.style, messages))
    allWritten = false;
  // Without a page there is nothing to add a number to.
  if (pageUrl->empty()) return false;
  for (const int pointer : pointerList.pointers) {
    // The files share the folder: when one cannot be written the others
    // would only repeat its message.
    if (!WriteQrCodeBitmap(PointerPageUrl(*pageUrl, pointer).c_str(),
                           PointerBitmapFile(settings.file2, pointer), settings.style, messages)) {
      return false;
    }
  }
  return allWritten;
}
