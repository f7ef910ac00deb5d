// Codeplate: its settings, all from the INI file beside the program, and its run.
#pragma once

#include <string>

#include "qrtool/page_url.h"
#include "qrtool/qr_code_bitmap.h"

class DiagnosticLog;

struct CodeplateSettings {
  bool logEnabled = true;   // General/Log
  QrCodeBitmapStyle style;  // Input/NumberOfBMPPixelsPerQRCodePixel, PixelValueRed/Green/Blue
  std::string accessPoint;  // Input/AccessPoint: text of the first code
  std::string url;          // Input/URL: text of the second code, or "auto"
  std::string pointers;     // Input/Pointers: the numbers that get a code each, "0-29"
  std::string file1;        // Output/File1: BMP file of the first code
  std::string file2;        // Output/File2: BMP file of the second code
  // Why the settings cannot be used as written (a value too long to read
  // whole, a path too long for the system); empty when they can.
  std::string refusal;
};

// Texts are read whole up to this many characters, far beyond what a QR code
// holds; a longer one is refused rather than cut. Paths hold at most 259
// characters; integers are read through a 460-byte buffer.
inline constexpr std::size_t kCodeplateLongestText = 65535;
inline constexpr std::size_t kCodeplateTextBufferSize = 260;
inline constexpr std::size_t kCodeplateValueBufferSize = 460;

// Logs "Entered ReadIni" (while the log is still on), then reads the keys and
// switches the log. A missing key gives its default; an integer value that does
// not start with a number keeps the value the record had.
void ReadIni(CodeplateSettings& settings, const std::string& iniFile, DiagnosticLog& log);

// Writes the access point code to File1, then the page's code to File2, the
// second whatever became of the first, then one code per listed pointer
// beside File2 (pointerNN.bmp) up to the first that fails. An invalid pointer
// list writes no pointer code, and a page address that cannot be had
// (URL=auto without a network) neither the page's code nor the pointer codes;
// both say why in a line of their own, before the messages of the codes.
// Settings with a refusal write nothing and say why. True only when every
// code was written.
bool WriteCodeplateImages(const CodeplateSettings& settings, const ServerLocation& server,
                          std::ostream& messages);
