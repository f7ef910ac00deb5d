#include "qrtool/codeplate.h"

#include "common/diagnostic_log.h"
#include "common/ini_values.h"
#include "platform/profile.h"

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
  settings.file1 = ReadText(iniFile, "Output", "File1");
  settings.file2 = ReadText(iniFile, "Output", "File2");
}

bool WriteCodeplateImages(const CodeplateSettings& settings, std::ostream& messages) {
  const bool first =
      WriteQrCodeBitmap(settings.accessPoint.c_str(), settings.file1, settings.style, messages);
  const bool second =
      WriteQrCodeBitmap(settings.url.c_str(), settings.file2, settings.style, messages);
  return first && second;
}
