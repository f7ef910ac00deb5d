#include "qrtool/codeplate.h"

#include <optional>
#include <ostream>

#include "common/diagnostic_log.h"
#include "common/ini_values.h"
#include "platform/profile.h"
#include "qrtool/pointer_list.h"

namespace {

void ReadInteger(const std::string& iniFile, const char* key, const char* fallback, int& setting) {
  ParseLeadingInteger(
      platform::ProfileReadString(iniFile, "Input", key, fallback, kCodeplateValueBufferSize),
      setting);
}

std::string ReadText(const std::string& iniFile, const char* section, const char* key) {
  return platform::ProfileReadString(iniFile, section, key, "", kCodeplateTextBufferSize);
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
  settings.accessPoint = ReadText(iniFile, "Input", "AccessPoint");
  settings.url = ReadText(iniFile, "Input", "URL");
  settings.pointers =
      platform::ProfileReadString(iniFile, "Input", "Pointers", "", kCodeplateValueBufferSize);
  settings.file1 = ReadText(iniFile, "Output", "File1");
  settings.file2 = ReadText(iniFile, "Output", "File2");
}

bool WriteCodeplateImages(const CodeplateSettings& settings, const ServerLocation& server,
                          std::ostream& messages) {
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
  if (!pageUrl) return false;
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
