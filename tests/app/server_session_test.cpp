#include "app/server_session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/main_dialog.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "platform/socket_client.h"
#include "tests/app/fake_mouse.h"
#include "tests/app/recording_view.h"
#include "tests/pointer/channel_fixture.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_folder.h"

namespace {

// The program's session behind the dialog, "installed" in a temp folder with
// its INI and profile there too: the real server, area and files.
class ServerSessionTest : public testing::Test {
 protected:
  ServerSessionTest() {
    std::uint16_t freePort = 0;
    EXPECT_TRUE(platform::FindFreePort(freePort));
    port = freePort;
    WriteIni("General", "Log", "FALSE");
    WriteIni("Paths", "PathToIniFolder", folder.Path());
    WriteIni("Paths", "PathToWorkingDir", folder.Path());
    WriteIni("Control", "Port", std::to_string(port));
  }

  void WriteIni(const char* section, const char* key, const std::string& value) {
    EXPECT_TRUE(platform::ProfileWriteString(paths.iniFile, section, key, value.c_str()));
  }

  std::string Profile(const char* key) {
    return platform::ProfileReadString(profile, "Settings", key, "<none>", 460);
  }

  // A program's application, view and dialog, the dialog not yet initialised.
  struct Program {
    explicit Program(ServerSessionTest& test)
        : app(test.paths, test.profile, test.areaName),
          session(app, test.mouse),
          dialog(session, view, test.mouse) {}
    Application app;
    RecordingView view;
    ServerSession session;
    MainDialog dialog;
  };
  // A new program in place of the last one opened, which must have ended.
  Program& Open() { return program.emplace(*this); }

  TempFolder folder;
  ProgramPaths paths = BuildProgramPaths(folder.File("TVXHandvane.exe"));
  std::string profile = folder.File("Profile.INI");
  std::string areaName = UniqueAreaName();
  int port = 0;
  FakeMouse mouse;
  std::optional<Program> program;
};

// The server answers on the INI's port; a selection is stored in the INI at
// once; the way out saves the profile and closes the area.
TEST_F(ServerSessionTest, TheServerRunsOnTheStoredPortAndTheWayOutSavesAndCloses) {
  auto& [app, view, session, dialog] = Open();
  ASSERT_TRUE(dialog.OnInitDialog());
  platform::ClientSocket client;
  EXPECT_TRUE(client.Connect(static_cast<std::uint16_t>(port)));
  dialog.SelectPointer(7);
  EXPECT_EQ(platform::ProfileReadString(paths.iniFile, "Control", "SelectedPointer", "", 16), "7");

  dialog.OnOK();
  EXPECT_EQ(Profile("PTO"), "10");
  EXPECT_EQ(Profile("Port"), std::to_string(port));
  EXPECT_EQ(app.channel.GetHeader(), nullptr);
}

// With AccessKey=auto every start makes a key of its own, which the key file
// holds for Codeplate while the program runs; a key of the operator's is
// taken as it is and needs no key file.
TEST_F(ServerSessionTest, AutomaticAccessKeyIsNewAtEveryStartAndPublishedWhileRunning) {
  WriteIni("Control", "AccessKey", "auto");
  std::vector<std::string> keys;
  for (int start = 0; start < 2; ++start) {
    auto& [app, view, session, dialog] = Open();
    ASSERT_TRUE(dialog.OnInitDialog());
    keys.push_back(dialog.AccessKey());
    EXPECT_EQ(keys.back().size(), 8u);
    EXPECT_EQ(TempFolder::ReadAll(paths.keyFile),
              keys.back() + "\n" + std::to_string(platform::ProcessId()) + "\n" + areaName + "\n");
    dialog.OnCancel();
    EXPECT_FALSE(platform::PathExists(paths.keyFile));
  }
  EXPECT_NE(keys[0], keys[1]);

  WriteIni("Control", "AccessKey", "Room-12");
  TempFolder::WriteAll(paths.keyFile, "Stale123\n");
  auto& [app, view, session, dialog] = Open();
  ASSERT_TRUE(dialog.OnInitDialog());
  EXPECT_EQ(dialog.AccessKey(), "Room-12");
  EXPECT_FALSE(platform::PathExists(paths.keyFile));
  dialog.OnCancel();
}

// The system's refusals of both files reach the operator.
TEST_F(ServerSessionTest, SettingsThatCannotBeSavedAreReported) {
  auto& [app, view, session, dialog] = Open();
  ASSERT_TRUE(dialog.OnInitDialog());
  // Folders where the files go: no write can replace them.
  std::filesystem::remove(paths.iniFile);
  std::filesystem::create_directory(paths.iniFile);
  std::filesystem::create_directory(profile);

  dialog.SelectPointer(7);
  EXPECT_TRUE(
      view.notices.back().starts_with("The setting could not be saved in " + paths.iniFile + ": "))
      << view.notices.back();
  dialog.OnOK();
  const std::string notSaved = "The settings could not be saved in " + profile + ": ";
  EXPECT_TRUE(std::any_of(view.notices.begin(), view.notices.end(),
                          [&](const std::string& notice) { return notice.starts_with(notSaved); }));
}

TEST_F(ServerSessionTest, FailedSharedMemoryEndsEarlyWithoutOverwritingSettings) {
  WriteIni("Paths", "PathToIniFolder", folder.File("no-such-folder"));
  EXPECT_TRUE(platform::ProfileWriteString(profile, "Settings", "Defindex", "start.htm"));
  auto& [app, view, session, dialog] = Open();
  EXPECT_FALSE(dialog.OnInitDialog());
  dialog.OnDestroy();
  EXPECT_EQ(view.messages, std::vector<std::string>{"Can not create the TVXHDV shared memory!"});
  EXPECT_TRUE(view.HasEnded());
  EXPECT_FALSE(dialog.IsRunning());
  EXPECT_EQ(Profile("Defindex"), "start.htm");
  EXPECT_EQ(Profile("PTO"), "<none>");
}

// A second copy leaves the running one's log as it is and names its process.
TEST_F(ServerSessionTest, SecondCopyLeavesTheRunningOnesFilesAndNamesIt) {
  WriteIni("General", "Log", "TRUE");
  auto& [running, runningView, runningSession, first] = Open();
  ASSERT_TRUE(first.OnInitDialog());
  const std::string log = TempFolder::ReadAll(paths.logFile);
  ASSERT_NE(log.find("TVXHandvane started"), std::string::npos);

  Program second(*this);
  EXPECT_FALSE(second.dialog.OnInitDialog());
  second.dialog.OnDestroy();
  EXPECT_EQ(TempFolder::ReadAll(paths.logFile), log);
  EXPECT_EQ(second.view.messages,
            std::vector<std::string>{"Can not create the TVXHDV shared memory!\nTVXHandvane "
                                     "already runs (process " +
                                     std::to_string(platform::ProcessId()) +
                                     "): use that one, or end it before starting another."});
  EXPECT_TRUE(first.IsRunning());
  first.OnOK();
}
// One request from a phone at 127.0.0.<host>; the whole reply.
std::string Exchange(int port, std::uint8_t host, const std::string& request) {
  platform::ClientSocket client;
  if (!client.ConnectFrom(host, static_cast<std::uint16_t>(port))) return "<no connection>";
  if (!client.SendAll(request)) return "<not sent>";
  std::string reply;
  char buffer[1024];
  for (int got = 0; client.ReceiveSome(buffer, sizeof buffer, 5000, got) && got > 0;) {
    reply.append(buffer, static_cast<std::size_t>(got));
  }
  return reply;
}

std::string Report(int port, std::uint8_t host, int pointer) {
  const std::string reply = Exchange(
      port, host, "GET " + ReportPath(pointer, 1, 0, 0, false, false, 0) + " HTTP/1.0\r\n\r\n");
  return reply.substr(reply.find("\r\n\r\n") + 4);
}

// Waits for the kit to tell that pointer's name changed; false after 10 s.
bool WaitForRename(tvxhdv* kit, unsigned pointer) {
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < giveUp) {
    if (tvxhdv_wait(kit, 1000) != TVXHDV_PRESENCE) continue;
    tvxhdv_presence_change changes[16];
    for (int count; (count = tvxhdv_presence(kit, changes, 16)) > 0;) {
      for (int i = 0; i < count; ++i) {
        if (changes[i].pointer == pointer && changes[i].joined == TVXHDV_RENAMED) return true;
      }
    }
  }
  return false;
}

std::string KitName(tvxhdv* kit, unsigned pointer) {
  char name[TVXHDV_NAME_MAX + 1];
  return tvxhdv_name(kit, pointer, name, sizeof name) > 0 ? name : "";
}

// Every file below folder that holds text, as one text each.
std::vector<std::string> EveryFileBelow(const std::string& folder) {
  std::vector<std::string> contents;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) contents.push_back(TempFolder::ReadAll(entry.path().string()));
  }
  return contents;
}

// Only the phone that holds a number names it, and a name refused leaves
// the one before; the kit hears of each change at once. The teacher frees a
// number (its phone hears FE once) and renames another; a stop drops the
// names. At the highest log level no file of the program holds any name.
TEST_F(ServerSessionTest, PhonesNameTheirOwnPointersAndNoFileHoldsTheNames) {
  WriteIni("General", "Log", "TRUE");
  WriteIni("General", "LogLevel", "4");
  auto& [app, view, session, dialog] = Open();
  ASSERT_TRUE(dialog.OnInitDialog());
  KitHandle kit = OpenKit(folder.Path());
  ASSERT_NE(kit, nullptr) << tvxhdv_last_error();
  ASSERT_EQ(KitName(kit.get(), 17), "");  // asked once: renames are told from now on

  ASSERT_EQ(Report(port, 2, 17), "0000");
  ASSERT_EQ(Report(port, 3, 18), "0000");
  const auto name = [&](std::uint8_t host, const std::string& path, const std::string& value,
                        const std::string& header = "TVXName") {
    return Exchange(port, host,
                    "GET " + path + " HTTP/1.0\r\n" + header + ": " + value + "\r\n\r\n");
  };
  // Every refusal a phone can meet, with its reason: one row for each
  // check a name goes through.
  const std::string refused = "400 Bad Request|";
  const std::string control = refused + "control character";
  const std::string bidi = refused + "bidi override";
  struct Case {
    std::uint8_t host;
    const char* path;
    std::string value;
    std::string answer;  // status line and body
    const char* header = "TVXName";
  };
  const Case cases[] = {
      {2, "/name/11", "Xi%C3%B3mara", "204 No Content|"},
      {3, "/name/11", "Zebedee", "409 Conflict|not your number"},
      {2, "/name/50", "Zebedee", refused + "no such number"},
      {2, "/name/11", "Zebedee", refused + "no name header", "TVXNames"},
      {2, "/name/11", "Zebedee%F", refused + "bad percent-encoding"},
      {2, "/name/11", std::string(25, 'Z'), refused + "too long"},
      {2, "/name/11", "Zebe%00dee", control},
      {2, "/name/11", "Zebedee%7F", control},
      {2, "/name/11", "Zebedee%C2%85", control},
      {2, "/name/11", "Zebedee%E2%80%A8", control},
      {2, "/name/11", "Zebedee%E2%80%AE", bidi},
      {2, "/name/11", "%E2%81%A6Zebedee", bidi},
      {2, "/name/11", "Zebedee%E2%80%8F", bidi},
      // Bad UTF-8 is refused twice over, by the decoder and the normaliser:
      // two rows of what lax decoders let through.
      {2, "/name/11", "%E0%80%AF", refused + "invalid UTF-8"},  // an overlong slash
      {2, "/name/11", "%ED%A0%80", refused + "invalid UTF-8"},  // a surrogate
      {3, "/name/12", "%20Quentin%20", "204 No Content|"},
  };
  for (const Case& c : cases) {
    const std::string reply = name(c.host, c.path, c.value, c.header);
    const std::string status = c.answer.substr(0, c.answer.find('|'));
    EXPECT_TRUE(reply.starts_with("HTTP/1.0 " + status + "\r\n"))
        << c.path << " " << c.value << ": " << reply;
    EXPECT_EQ(reply.substr(reply.find("\r\n\r\n") + 4), c.answer.substr(status.size() + 1))
        << c.value;
  }
  EXPECT_EQ(app.names.Get(17), "Xi\xC3\xB3mara");
  EXPECT_EQ(app.names.Get(18), "Quentin");

  // The kit, told of the change: within 100 ms as a rule, given much longer here.
  const auto sent = std::chrono::steady_clock::now();
  ASSERT_TRUE(name(2, "/name/11", "Xiomara%20Li").starts_with("HTTP/1.0 204 No Content\r\n"));
  ASSERT_TRUE(WaitForRename(kit.get(), 17));
  const auto told = std::chrono::steady_clock::now() - sent;
  EXPECT_EQ(KitName(kit.get(), 17), "Xiomara Li");
  EXPECT_LT(told, std::chrono::seconds(2));
  RecordProperty(
      "rename_to_kit_us",
      static_cast<int>(std::chrono::duration_cast<std::chrono::microseconds>(told).count()));

  session.FreeNumber(17);
  EXPECT_EQ(Report(port, 2, 17), "00FE");
  EXPECT_EQ(Report(port, 4, 17), "0000");  // the number is anybody's now
  EXPECT_EQ(app.names.Get(17), "");
  EXPECT_EQ(session.RenamePointer(18, "Zebedee\xE2\x80\xAE"), PointerNames::Refusal::kBidi);
  EXPECT_EQ(session.RenamePointer(18, "Quinn"), PointerNames::Refusal::kNone);
  EXPECT_EQ(KitName(kit.get(), 18), "Quinn");
  // The persistence timeout, 10 s here: a name outlives a shorter silence.
  session.MarkSilentPointers(platform::TickCount() + 5000);
  EXPECT_EQ(app.names.Get(18), "Quinn");
  ASSERT_EQ(session.RenamePointer(17, "Quentin"), PointerNames::Refusal::kNone);
  session.MarkSilentPointers(platform::TickCount() + 10001);
  EXPECT_EQ(app.names.Get(17), "");
  ASSERT_EQ(session.RenamePointer(18, "Quinn"), PointerNames::Refusal::kNone);
  dialog.Stop();
  EXPECT_EQ(app.names.Get(18), "");
  EXPECT_EQ(KitName(kit.get(), 18), "");
  dialog.OnOK();

  const std::string log = TempFolder::ReadAll(paths.logFile);
  EXPECT_NE(log.find("Number 17 freed by the teacher."), std::string::npos);
  EXPECT_NE(log.find("Pointer 18 renamed by the teacher."), std::string::npos);
  EXPECT_NE(log.find("/name/11"), std::string::npos);  // the path is traced, the name is not
  for (const std::string& contents : EveryFileBelow(folder.Path())) {
    for (const char* secret :
         {"Xi\xC3\xB3mara", "Xi%C3%B3mara", "Xiomara", "Zebedee", "Quentin", "Quinn"}) {
      EXPECT_EQ(contents.find(secret), std::string::npos) << secret;
    }
  }
}

std::string PercentEncoded(std::string_view text) {
  std::string encoded;
  for (const char c : text) {
    char escape[4];
    std::snprintf(escape, sizeof escape, "%%%02X", static_cast<unsigned char>(c));
    encoded += escape;
  }
  return encoded;
}

// Eighty phones, each at an address of its own, name their pointers with 24
// characters of one of several scripts, each taking a different number of
// bytes, up to the 96 of 24 four-byte ones: every name reaches the kit
// exactly. Without a persistence timeout no silence drops them.
TEST_F(ServerSessionTest, EightyPhonesNameTheirPointersInSeveralScripts) {
  EXPECT_TRUE(platform::ProfileWriteString(profile, "Settings", "PTO", "0"));
  auto& [app, view, session, dialog] = Open();
  ASSERT_TRUE(dialog.OnInitDialog());
  KitHandle kit = OpenKit(folder.Path());
  ASSERT_NE(kit, nullptr) << tvxhdv_last_error();
  const char* const scripts[] = {"\xC3\xA9", "\xD0\x96", "\xD9\x85", "\xE6\xBC\xA2",
                                 "\xF0\x9F\x98\x80"};
  std::vector<std::string> names;
  for (int pointer = 0; pointer < kPointerCount; ++pointer) {
    // First an emoticon of the pointer's own (U+1F600 on holds 80), then the script.
    const char32_t first = 0x1F600 + static_cast<char32_t>(pointer);
    std::string name = {'\xF0', '\x9F', static_cast<char>(0x80 | ((first >> 6) & 0x3F)),
                        static_cast<char>(0x80 | (first & 0x3F))};
    for (int i = 0; i < 23; ++i) name += scripts[pointer % 5];
    names.push_back(name);
    const auto host = static_cast<std::uint8_t>(10 + pointer);
    ASSERT_EQ(Report(port, host, pointer), "0000") << pointer;
    char path[16];
    std::snprintf(path, sizeof path, "/name/%02X", pointer);
    const std::string reply = Exchange(
        port, host,
        std::string("GET ") + path + " HTTP/1.0\r\nTVXName: " + PercentEncoded(name) + "\r\n\r\n");
    ASSERT_TRUE(reply.starts_with("HTTP/1.0 204 No Content\r\n")) << pointer << ": " << reply;
  }
  for (int pointer = 0; pointer < kPointerCount; ++pointer) {
    EXPECT_EQ(KitName(kit.get(), static_cast<unsigned>(pointer)),
              names[static_cast<std::size_t>(pointer)])
        << pointer;
  }
  session.MarkSilentPointers(platform::TickCount() + 3600000);
  EXPECT_EQ(app.names.Get(79), names.back());
  dialog.OnOK();
}


// A press is in the held buttons' file before the cursor's next event, not
// at a later tick of the dialog: the program may die in between.
TEST_F(ServerSessionTest, HeldButtonsAreRecordedAsTheyGoDownAndForgottenAsTheyGoUp) {
  auto& [app, view, session, dialog] = Open();
  mouse.available = true;
  app.settings.selectedPointer = 3;
  ASSERT_EQ(session.Cursor().SwitchOn(), CursorControl::Refusal::kNone);
  const auto report = [&](int frame, const char* buttons) {
    char path[40];
    std::snprintf(path, sizeof path, "/tolvex10003%04X80008000%s0200", frame, buttons);
    app.protocol.HandlePointerReport(path);
  };
  // Each change is followed by a report that changes nothing: once its
  // event went out, the change's record is done and no other is under way.
  report(1, "10");
  report(2, "10");
  ASSERT_EQ(mouse.SentFlags(2).size(), 2u);
  EXPECT_EQ(TempFolder::ReadAll(paths.heldButtonsFile),
            "[HeldButtons]\nProcess=" + std::to_string(platform::ProcessId()) + "\nButtons=1\n");
  report(3, "00");
  report(4, "00");
  ASSERT_EQ(mouse.SentFlags(4).size(), 4u);
  EXPECT_FALSE(platform::PathExists(paths.heldButtonsFile));
}
}  // namespace
