#include "qrtool/codeplate.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "common/access_key.h"
#include "common/diagnostic_log.h"
#include "platform/process.h"
#include "platform/shared_memory.h"
#include "tests/support/temp_folder.h"

namespace {

class CodeplateTest : public testing::Test {
 protected:
  TempFolder folder;
  std::string ini = folder.File("Codeplate.INI");
  DiagnosticLog log{folder.File("Codeplate.LOG")};
  CodeplateSettings settings;
  ServerLocation server{{{"192.168.1.20", "wlan0", true, platform::AdapterKind::kWireless},
                         {"10.0.0.5", "eth0", true, platform::AdapterKind::kEthernet}},
                        8081,
                        "",
                        false};
  std::ostringstream messages;

  void WriteIni(const std::string& text) { TempFolder::WriteAll(ini, text); }
  void Read() { ReadIni(settings, ini, log); }
};

TEST_F(CodeplateTest, WithoutAnIniFileNothingCanBeEncoded) {
  Read();
  EXPECT_FALSE(settings.logEnabled);
  EXPECT_FALSE(log.IsEnabled());
  EXPECT_EQ(settings.style.moduleSize, 8);
  EXPECT_EQ(settings.style.red + settings.style.green + settings.style.blue, 0);
  EXPECT_EQ(settings.accessPoint + settings.url + settings.file1 + settings.file2, "");
  // Written while the log was still on.
  EXPECT_NE(TempFolder::ReadAll(log.Path()).find(": Entered ReadIni\r\n"), std::string::npos);

  EXPECT_FALSE(WriteCodeplateImages(settings, server, messages));
  EXPECT_EQ(messages.str(),
            std::string(kEncodingFailedMessage) + std::string(kEncodingFailedMessage));
}

TEST_F(CodeplateTest, ValuesAreReadAsStored) {
  WriteIni(
      "[General]\r\nLog=no\r\n"
      "[Input]\r\nNumberOfBMPPixelsPerQRCodePixel=4\r\n"
      "PixelValueRed=12px\r\nPixelValueGreen=-1\r\nPixelValueBlue=511\r\n"
      "AccessPoint=WIFI:T:WPA;S:Caf\xC3\xA9 Lab;P:pa ss;;\r\nURL=http://10.0.0.2:8080/\r\n"
      "Pointers= 0-29 \r\n"
      "[Output]\r\nFile1=ap.bmp\r\nFile2=url.bmp\r\n");
  Read();
  EXPECT_TRUE(settings.logEnabled);
  EXPECT_EQ(settings.style.moduleSize, 4);
  EXPECT_EQ(settings.style.red, 12);
  EXPECT_EQ(settings.style.green, -1);
  EXPECT_EQ(settings.style.blue, 511);
  EXPECT_EQ(settings.accessPoint, "WIFI:T:WPA;S:Caf\xC3\xA9 Lab;P:pa ss;;");
  EXPECT_EQ(settings.url, "http://10.0.0.2:8080/");
  EXPECT_EQ(settings.pointers, "0-29");
  EXPECT_EQ(settings.file1, "ap.bmp");
  EXPECT_EQ(settings.file2, "url.bmp");
}

// No value is cut short without a word: texts are read whole, and what
// cannot be (a path past the system's limit, a text past any QR code's)
// stops the run before a file is written.
TEST_F(CodeplateTest, NumbersMustLeadTheValueAndLongValuesAreReadWholeOrRefused) {
  std::string pointers = "5";
  for (int i = 0; i < 79; ++i) pointers += "," + std::to_string(i == 4 ? 79 : i);
  pointers.resize(462, ' ');
  WriteIni("[Input]\r\nNumberOfBMPPixelsPerQRCodePixel=abc\r\nURL=" + std::string(300, 'u') +
           "\r\nPointers=" + pointers + "5\r\n[Output]\r\nFile2=url.bmp\r\n");
  Read();
  EXPECT_EQ(settings.style.moduleSize, 8);
  EXPECT_EQ(settings.url, std::string(300, 'u'));
  EXPECT_EQ(settings.pointers.size(), 463u);
  EXPECT_EQ(settings.refusal, "");

  for (const std::string& line : {"[Output]\r\nFile1=" + std::string(300, 'f') + ".bmp\r\n",
                                  "[Input]\r\nURL=" + std::string(70000, 'u') + "\r\n"}) {
    WriteIni(line);
    settings = CodeplateSettings{};
    Read();
    messages.str("");
    EXPECT_FALSE(WriteCodeplateImages(settings, server, messages));
    EXPECT_NE(messages.str().find(ini), std::string::npos) << messages.str();
    EXPECT_NE(messages.str().find("Nothing was written"), std::string::npos) << messages.str();
  }
}

TEST_F(CodeplateTest, TheSecondCodeIsWrittenWhenTheFirstFails) {
  settings.accessPoint = "WIFI:T:WPA;S:Lab;P:secret;;";
  settings.url = "http://10.0.0.2:8080/";
  settings.file1 = folder.File("missing/ap.bmp");
  settings.file2 = folder.File("url.bmp");
  EXPECT_FALSE(WriteCodeplateImages(settings, server, messages));
  EXPECT_EQ(messages.str(), kUnableToOpenMessage);
  EXPECT_TRUE(std::filesystem::exists(settings.file2));

  settings.file1 = folder.File("ap.bmp");
  messages.str("");
  EXPECT_TRUE(WriteCodeplateImages(settings, server, messages));
  EXPECT_EQ(messages.str(), "");
}

TEST_F(CodeplateTest, AutoTakesTheFirstAddressAndTheServersPort) {
  EXPECT_EQ(PageUrl("AUTO", server, messages), "http://192.168.1.20:8081/");
  EXPECT_EQ(PageUrl("auto ", server, messages), "auto ");
  EXPECT_EQ(messages.str(), "");

  server.port = 70000;
  EXPECT_EQ(PageUrl("auto", server, messages), std::nullopt);
  EXPECT_NE(messages.str().find("Port=70000"), std::string::npos);

  EXPECT_EQ(ReadServerPort(folder.File("TVXHandvane.INI")), 8080);
  TempFolder::WriteAll(folder.File("TVXHandvane.INI"), "[Control]\r\nPort=8123\r\n");
  EXPECT_EQ(ReadServerPort(folder.File("TVXHandvane.INI")), 8123);
}

// The key comes from TVXHandvane's INI, or for a key made at the server's
// start from the key file the running server writes.
TEST_F(CodeplateTest, AutoCarriesTheServersAccessKey) {
  const std::string serverIni = folder.File("TVXHandvane.INI");
  const std::string keyFile = folder.File("TVXHandvane.KEY");
  EXPECT_EQ(ReadServerAccessKey(serverIni, keyFile, server), "");
  TempFolder::WriteAll(serverIni, "[Control]\r\nAccessKey=Room-12\r\n");
  EXPECT_EQ(ReadServerAccessKey(serverIni, keyFile, server), "Room-12");
  // This process stands in for the running server: it holds an area's claim.
  const std::string area = "TVXHandvane test area " + std::to_string(platform::ProcessId());
  platform::SharedMemory claimed;
  ASSERT_EQ(claimed.ClaimName(area).claim, platform::SharedMemory::Claim::kClaimed);
  for (const char* madeAtStart : {"Auto", "room 12"}) {
    TempFolder::WriteAll(serverIni, std::string("[Control]\r\nAccessKey=") + madeAtStart + "\r\n");
    EXPECT_EQ(ReadServerAccessKey(serverIni, keyFile, server), std::nullopt) << madeAtStart;
    EXPECT_FALSE(server.accessKeyStale);
    ASSERT_TRUE(PublishAccessKey(keyFile, {"Ab3dE6gH", platform::ProcessId(), area}));
    EXPECT_EQ(ReadServerAccessKey(serverIni, keyFile, server), "Ab3dE6gH") << madeAtStart;
    std::filesystem::remove(keyFile);
  }
  // A key file after a crash, or one the server could not replace: its
  // process holds no area, or the file names none.
  for (const PublishedAccessKey& dead : {PublishedAccessKey{"Ab3dE6gH", platform::ProcessId(),
                                                            area + " gone"},
                                         PublishedAccessKey{"Ab3dE6gH", 0, area}}) {
    ServerLocation location;
    ASSERT_TRUE(PublishAccessKey(keyFile, dead));
    EXPECT_EQ(ReadServerAccessKey(serverIni, keyFile, location), std::nullopt);
    EXPECT_TRUE(location.accessKeyStale);
  }

  server.accessKey = "Ab3dE6gH";
  EXPECT_EQ(PageUrl("auto", server, messages), "http://192.168.1.20:8081/#key=Ab3dE6gH");
  EXPECT_EQ(PointerPageUrl("http://192.168.1.20:8081/#key=Ab3dE6gH", 5),
            "http://192.168.1.20:8081/#pointer=5&key=Ab3dE6gH");
  EXPECT_EQ(messages.str(), "");
}

TEST_F(CodeplateTest, PointerLinksKeepAnExistingFragment) {
  EXPECT_EQ(PointerPageUrl("http://10.0.0.2:8080/", 7), "http://10.0.0.2:8080/#pointer=7");
  EXPECT_EQ(PointerPageUrl("http://10.0.0.2/#a=1", 12), "http://10.0.0.2/#pointer=12&a=1");
  EXPECT_EQ(PointerBitmapFile("codes/page.bmp", 7), "codes/pointer07.bmp");
  EXPECT_EQ(PointerBitmapFile("page.bmp", 79), "pointer79.bmp");
}

// Without a page address only the access point's code is written: a code for
// 127.0.0.1 would send every phone to itself. Codes made with a key that no
// server takes any more would send every phone to a refusal: they are removed.
TEST_F(CodeplateTest, AutoWithoutAnAddressOrAKeyWritesOnlyTheAccessPointCode) {
  settings.accessPoint = "WIFI:T:nopass;S:Lab;;";
  settings.url = "auto";
  settings.pointers = "0-2";
  settings.file1 = folder.File("ap.bmp");
  settings.file2 = folder.File("page.bmp");
  const struct {
    void (*lose)(ServerLocation&);
    const char* message;
    bool oldCodesGo;
  } cases[] = {
      {[](ServerLocation& s) { s.addresses.clear(); }, "no network address", false},
      {[](ServerLocation& s) { s.accessKeyUnknown = true; }, "Start TVXHandvane first", true},
      {[](ServerLocation& s) {
         s.accessKeyStale = true;
         s.staleKeyProcess = 4242;
       },
       "no longer runs (process 4242)", true},
  };
  for (const auto& c : cases) {
    ServerLocation location = server;
    c.lose(location);
    std::filesystem::remove(settings.file1);
    for (const char* old : {"page.bmp", "pointer00.bmp", "pointer79.bmp"}) {
      TempFolder::WriteAll(folder.File(old), "old code");
    }
    messages.str("");
    EXPECT_FALSE(WriteCodeplateImages(settings, location, messages));
    EXPECT_NE(messages.str().find(c.message), std::string::npos) << messages.str();
    EXPECT_TRUE(std::filesystem::exists(settings.file1)) << c.message;
    for (const char* old : {"page.bmp", "pointer00.bmp", "pointer79.bmp"}) {
      EXPECT_EQ(TempFolder::ReadAll(folder.File(old)), c.oldCodesGo ? "" : "old code")
          << c.message << ": " << old;
    }
  }
}

}  // namespace
