// Any bytes as an INI file, read by the server's settings reader, the dialog's
// settings loader (the checksummed WindowPos among them) and Codeplate's
// settings reader. Every value must come out within its buffer and the
// selected pointer within 0 to 79.
#include <cstdint>
#include <fstream>
#include <string>

#include "app/settings.h"
#include "common/diagnostic_log.h"
#include "common/pointer_limits.h"
#include "fuzz/fuzz_folder.h"
#include "qrtool/codeplate.h"

namespace {

void CheckLength(const std::string& value, std::size_t bufferSize, const char* name) {
  if (value.size() >= bufferSize) FuzzFailure(std::string(name) + " longer than its buffer");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string file = FuzzFolder() + "/settings.ini";
  // Log lines go nowhere: the fuzz run would otherwise fill the disk.
  static DiagnosticLog log("/dev/null");
  std::ofstream(file, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

  Settings settings;
  ReadIni(settings, file, log);
  if (!IsValidPointer(settings.selectedPointer)) FuzzFailure("selected pointer outside 0 to 79");
  CheckLength(settings.serverRoot, kPathBufferSize, "PathToWorkingDir");
  CheckLength(settings.sharedMemoryFolder, kPathBufferSize, "PathToIniFolder");

  ReadProfile(settings, file);
  CheckLength(settings.fields.defaultIndexFile, kIniValueBufferSize, "Defindex");

  CodeplateSettings codeplate;
  ReadIni(codeplate, file, log);
  CheckLength(codeplate.accessPoint, kCodeplateLongestText + 1, "AccessPoint");
  CheckLength(codeplate.url, kCodeplateLongestText + 1, "URL");
  if (codeplate.refusal.empty()) {
    CheckLength(codeplate.file1, kCodeplateTextBufferSize, "File1");
    CheckLength(codeplate.file2, kCodeplateTextBufferSize, "File2");
  }
  return 0;
}
