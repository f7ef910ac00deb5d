// TVXBridge's messages as bytes and text, its command line, and the rule
// that lets a lagging WebSocket client go. The end-to-end test holds the
// same against liblo's tools and a WebSocket library.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "bridge/client_queue.h"
#include "bridge/json_messages.h"
#include "bridge/options.h"
#include "bridge/osc_listener.h"
#include "bridge/osc_message.h"

namespace bridge {
namespace {

using namespace std::chrono_literals;

tvxhdv_report SomeReport(std::uint32_t x = 65535, std::uint32_t y = 0) {
  tvxhdv_report report{};
  report.pointer = 3;
  report.frame = 17;
  report.x = x;
  report.y = y;
  report.left = 1;
  report.on_pad = 1;
  return report;
}

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (const int value : values) out.push_back(static_cast<char>(value));
  return out;
}

TEST(OscMessage, ReportIsPaddedBigEndian) {
  const std::string expected =
      std::string("/tvxhdv/pointer\0", 16) + std::string(",iffiiii\0\0\0\0", 12) +
      Bytes({0, 0, 0, 3}) + Bytes({0x3F, 0x80, 0, 0}) + Bytes({0, 0, 0, 0}) + Bytes({0, 0, 0, 1}) +
      Bytes({0, 0, 0, 0}) + Bytes({0, 0, 0, 1}) + Bytes({0, 0, 0, 17});
  EXPECT_EQ(osc::EncodeReport(SomeReport()), expected);
  EXPECT_EQ(osc::EncodeServer(false), std::string("/tvxhdv/server\0\0,s\0\0gone\0\0\0\0", 28));

  const tvxhdv_report reports[] = {SomeReport(0), SomeReport()};
  const auto legacy = osc::Scheme::kLegacy;
  EXPECT_EQ(osc::EncodeReports({reports, 1}, legacy), osc::EncodeReport(reports[0]));
  EXPECT_EQ(osc::EncodeReports(reports, legacy),
            std::string("#bundle\0", 8) + Bytes({0, 0, 0, 0, 0, 0, 0, 1}) + Bytes({0, 0, 0, 56}) +
                osc::EncodeReport(reports[0]) + Bytes({0, 0, 0, 56}) + expected);
}

// By pointer, a report is three messages whose addresses carry the pointer
// and the value; a two-digit pointer pads to the same length.
TEST(OscMessage, ByPointerEachValueHasItsAddress) {
  const std::string bundle = std::string("#bundle\0", 8) + Bytes({0, 0, 0, 0, 0, 0, 0, 1});
  tvxhdv_report report = SomeReport();
  report.right = 1;
  report.on_pad = 0;
  EXPECT_EQ(osc::EncodeReports({&report, 1}, osc::Scheme::kByPointer),
            bundle + Bytes({0, 0, 0, 28}) + std::string("/tvxhdv/p3/xy\0\0\0,ff\0", 20) +
                Bytes({0x3F, 0x80, 0, 0, 0, 0, 0, 0}) + Bytes({0, 0, 0, 32}) +
                std::string("/tvxhdv/p3/buttons\0\0,ii\0", 24) + Bytes({0, 0, 0, 1, 0, 0, 0, 1}) +
                Bytes({0, 0, 0, 24}) + std::string("/tvxhdv/p3/pad\0\0,i\0\0", 20) +
                Bytes({0, 0, 0, 0}));
  report.pointer = 79;
  const std::string wide = osc::EncodeReports({&report, 1}, osc::Scheme::kByPointer);
  EXPECT_EQ(wide.size(), 16u + 96u);
  EXPECT_NE(wide.find(std::string("/tvxhdv/p79/buttons\0,ii\0", 24)), std::string::npos);

  const unsigned present[] = {3, 12, 79};
  const std::string alive = std::string("/tvxhdv/alive\0\0\0,iii\0\0\0\0", 24) +
                            Bytes({0, 0, 0, 3, 0, 0, 0, 12, 0, 0, 0, 79});
  EXPECT_EQ(osc::EncodeAlive(present), alive);
  EXPECT_EQ(osc::EncodeAlive({}), std::string("/tvxhdv/alive\0\0\0,\0\0\0", 20));
  EXPECT_EQ(osc::EncodePresence(12, false, present),
            bundle + Bytes({0, 0, 0, 28}) + std::string("/tvxhdv/p12/present\0,i\0\0", 24) +
                Bytes({0, 0, 0, 0}) + Bytes({0, 0, 0, 36}) + alive);
  EXPECT_EQ(osc::EncodeName(3, ""), std::string("/tvxhdv/p3/name\0,s\0\0\0\0\0\0", 24));
}

TEST(OscMessage, DecodesWhatItTakesAndRefusesTheRest) {
  std::string problem;
  const std::string vibrate = std::string("/tvxhdv/vibrate\0,is\0", 20) + Bytes({0, 0, 0, 7}) +
                              std::string("long-double\0", 12);
  const auto message = osc::Decode(vibrate, problem);
  ASSERT_TRUE(message) << problem;
  EXPECT_EQ(message->address, "/tvxhdv/vibrate");
  EXPECT_EQ(message->types, "is");
  PhoneCommand command;
  EXPECT_TRUE(ReadOscCommand(*message, command));
  EXPECT_EQ(command.pointer, 7);
  EXPECT_EQ(command.code, 0xA5u);

  EXPECT_FALSE(osc::Decode(vibrate.substr(0, 24), problem));  // the string is cut off
  EXPECT_FALSE(osc::Decode(std::string("#bundle\0", 8) + std::string(8, '\0'), problem));
  EXPECT_NE(problem.find("bundle"), std::string::npos);
  EXPECT_FALSE(
      osc::Decode(std::string("/tvxhdv/send\0\0\0\0,ib\0", 20) + Bytes({0, 0, 0, 1}), problem));
  EXPECT_FALSE(osc::Decode("hello", problem));
}

osc::Message Osc(std::string address, std::vector<osc::Argument> arguments) {
  return {std::move(address), "", std::move(arguments)};
}

TEST(OscCommands, ByPointerOrPointerFirstPatternsShowsCodesAndWholeFloats) {
  const struct {
    osc::Message message;
    int pointer;
    unsigned code;
    bool cancel;
  } good[] = {
      {Osc("/tvxhdv/vibrate", {3, 2}), 3, 0xA1, false},
      {Osc("/tvxhdv/vibrate", {3, std::string("long-double")}), 3, 0xA5, false},
      {Osc("/tvxhdv/send", {79.0f, 161.0f}), 79, 161, false},
      {Osc("/tvxhdv/p7/vibrate", {std::string("short-double")}), 7, 0xA3, false},
      {Osc("/tvxhdv/7/vibrate", {6.0f}), 7, 0xA5, false},
      {Osc("/tvxhdv/p0/show", {std::string("correct")}), 0, 0xB1, false},
      {Osc("/tvxhdv/79/show", {std::string("wrong")}), 79, 0xB2, false},
      {Osc("/tvxhdv/5/show", {std::string("colour"), 7}), 5, 0xC7, false},
      {Osc("/tvxhdv/show", {5, std::string("digit"), 9.0f}), 5, 0xD9, false},
      {Osc("/tvxhdv/5/send", {217}), 5, 0xD9, false},
      {Osc("/tvxhdv/p5/cancel", {}), 5, 0, true},
      {Osc("/tvxhdv/cancel", {6}), 6, 0, true},
  };
  for (const auto& [message, pointer, code, cancel] : good) {
    PhoneCommand command;
    const Outcome read = ReadOscCommand(message, command);
    EXPECT_TRUE(read) << message.address << ": " << (read ? "" : read.Error());
    EXPECT_EQ(std::tuple(command.pointer, command.code, command.cancel),
              std::tuple(pointer, code, cancel))
        << message.address;
  }
  // One message for each check it fails.
  for (const osc::Message& bad : {Osc("/tvxhdv/vibrate", {3, 7}),
                                  Osc("/tvxhdv/vibrate", {3, std::string("buzz")}),
                                  Osc("/tvxhdv/vibrate", {3, 0}),
                                  Osc("/tvxhdv/vibrate", {3, -1}),
                                  Osc("/tvxhdv/send", {80, 0xA0}),
                                  Osc("/tvxhdv/send", {3, 161.5f}),
                                  Osc("/tvxhdv/send", {3}),
                                  Osc("/tvxhdv/other", {3, 1}),
                                  Osc("/tvxhdv/send", {3, 0}),
                                  Osc("/tvxhdv/send", {3, 255}),
                                  Osc("/tvxhdv/send", {3, 0x9F}),
                                  Osc("/tvxhdv/send", {3, 0xA6}),
                                  Osc("/tvxhdv/send", {3, 0xDA}),
                                  Osc("/tvxhdv/-1/cancel", {}),
                                  Osc("/tvxhdv/pp3/cancel", {}),
                                  Osc("/tvxhdv/p/cancel", {}),
                                  Osc("/tvxhdv/3/cancel", {1}),
                                  Osc("/tvxhdv/3/show", {}),
                                  Osc("/tvxhdv/3/show", {std::string("colour"), 8}),
                                  Osc("/tvxhdv/3/4/send", {0xA0}),
                                  Osc("/tvxhdv/3/vibrate", {3, 1})}) {
    PhoneCommand command;
    EXPECT_FALSE(ReadOscCommand(bad, command)) << bad.address;
  }
  // The check's text reaches the sender behind the address.
  PhoneCommand command;
  EXPECT_EQ(ReadOscCommand(Osc("/tvxhdv/send", {80, 1}), command).Error(),
            "/tvxhdv/send: pointer 80 does not exist: phones are numbered 0 to 79");
  EXPECT_NE(ReadOscCommand(Osc("/tvxhdv/3/send", {255}), command).Error().find("255 never"),
            std::string::npos);
}

TEST(Commands, ShowNamesAndACancelDropsWhatWaitsForItsPointer) {
  using N = std::optional<long long>;
  const std::pair<std::pair<const char*, N>, std::optional<unsigned>> shows[] = {
      {{"correct", {}}, 0xB1}, {{"wrong", {}}, 0xB2},   {{"clear", {}}, 0xB0},
      {{"colour", 0}, 0xC0},   {{"color", 7}, 0xC7},    {{"digit", 0}, 0xD0},
      {{"digit", 9}, 0xD9},    {{"colour", 8}, {}},     {{"colour", -1}, {}},
      {{"digit", 10}, {}},     {{"digit", {}}, {}},     {{"tick", {}}, {}},
      {{"wrong", 1}, {}},      {{"Correct", {}}, {}},
  };
  for (const auto& [asked, code] : shows) {
    EXPECT_EQ(ShowCodeByName(asked.first, asked.second), code) << asked.first;
  }

  CommandQueue queue;
  for (const int pointer : {3, 4, 3}) ASSERT_TRUE(queue.Push({pointer, 0xA0, false, {}}));
  ASSERT_TRUE(queue.Push({3, 0, true, {}}));
  ASSERT_TRUE(queue.Push({3, 0xA1, false, {}}));
  std::vector<std::tuple<int, unsigned, bool>> left;
  for (const PhoneCommand& command : queue.TakeAll()) {
    left.emplace_back(command.pointer, command.code, command.cancel);
  }
  EXPECT_EQ(left, (std::vector<std::tuple<int, unsigned, bool>>{
                      {4, 0xA0, false}, {3, 0, true}, {3, 0xA1, false}}));
}

TEST(Json, ReportStateAndPresenceShapes) {
  EXPECT_EQ(
      json::Report(SomeReport(32768, 16384)),
      R"({"pointer":3,"x":0.5000076295109483,"y":0.2500038147554742,"left":true,"right":false,"onPad":true,"frame":17})");
  const tvxhdv_report pass[] = {SomeReport(0), SomeReport()};
  EXPECT_EQ(json::Reports(pass, 2),
            "[" + json::Report(pass[0]) + "," + json::Report(pass[1]) + "]");
  EXPECT_EQ(json::Server(true), R"({"server":"new"})");
  const std::vector<std::string> names = {"", "", "", "Mia \"M\"\n", "", "", "", "\xC3\xA9\xFF"};
  EXPECT_EQ(json::State("running", "", {3, 5, 7, 79}, names),
            R"({"server":"running","present":[{"pointer":3,"name":"Mia \"M\"\n"},)"
            R"({"pointer":5},{"pointer":7,"name":"é�"},{"pointer":79}]})");
  // A join carries the name, a leave never does; a cleared name is said.
  EXPECT_EQ(json::Presence(7, true, "Mia"), R"({"join":{"pointer":7,"name":"Mia"}})");
  EXPECT_EQ(json::Presence(7, false, "Mia"), R"({"leave":{"pointer":7}})");
  EXPECT_EQ(json::Rename(3, ""), R"({"rename":{"pointer":3,"name":""}})");
  EXPECT_EQ(json::Error("a \"quoted\" word"), R"({"error":"a \"quoted\" word"})");
}

TEST(Json, ReadsCommandsByNameAndRefusesWhatNoPhoneGets) {
  const std::vector<std::pair<const char*, unsigned>> commands = {
      {R"({"vibrate":{"pointer":3,"pattern":"short-double"}})", 0xA3},
      {R"({"vibrate":{"pointer":4,"pattern":6}})", 0xA5},
      {R"({"send":{"pointer":5,"code":217}})", 217},
      {R"({"show":{"pointer":6,"what":"correct"}})", 0xB1},
      {R"({"show":{"pointer":6,"what":"color","n":0}})", 0xC0},
      {R"({"show":{"pointer":79,"what":"digit","n":9}})", 0xD9},
  };
  for (const auto& [text, code] : commands) {
    json::Request request;
    ASSERT_TRUE(json::ReadRequest(text, request)) << text;
    EXPECT_EQ(request.kind, json::Request::Kind::kCommand) << text;
    EXPECT_EQ(request.command.code, code) << text;
    EXPECT_FALSE(request.command.cancel) << text;
  }
  json::Request request;
  ASSERT_TRUE(json::ReadRequest(R"({"drop":{"pointer":79}})", request));
  EXPECT_TRUE(request.command.cancel);
  EXPECT_EQ(request.command.pointer, 79);
  ASSERT_TRUE(json::ReadRequest(R"({"batch":true})", request));
  EXPECT_EQ(request.kind, json::Request::Kind::kBatch);
  EXPECT_TRUE(request.batch);

  for (const char* bad :
       {"", "[]", "{\"send\":{\"pointer\":5}}", "{\"send\":{\"pointer\":80,\"code\":1}}",
        "{\"send\":{\"pointer\":\"5\",\"code\":1}}", "{\"send\":{\"pointer\":5,\"code\":0}}",
        "{\"send\":{\"pointer\":5,\"code\":255}}",
        "{\"vibrate\":{\"pointer\":1,\"pattern\":\"buzz\"}}", "{\"jump\":{}}",
        "{\"vibrate\":{\"pointer\":1,\"pattern\":0}}",
        "{\"vibrate\":{\"pointer\":1,\"pattern\":-1}}", "{\"send\":{\"pointer\":5,\"code\":161.5}}",
        "{\"send\":{\"pointer\":1,\"code\":2},\"vibrate\":{}}",
        R"({"show":{"pointer":1,"what":"colour","n":8}})", R"({"drop":{"pointer":80}})",
        R"({"drop":{}})", R"({"batch":1})"}) {
    EXPECT_FALSE(json::ReadRequest(bad, request)) << bad;
  }
  EXPECT_NE(json::ReadRequest("{\"send\":{\"pointer\":5,\"code\":255}}", request)
                .Error()
                .find("code 255 never reaches a phone"),
            std::string::npos);
}

TEST(ClientQueue, LetsGoOfAClientMoreThanASecondBehind) {
  ClientQueue queue;
  const Clock::time_point start{};
  const auto message = std::make_shared<const std::string>("m");
  EXPECT_TRUE(queue.Push(message, start));
  EXPECT_TRUE(queue.Push(message, start + 1000ms));  // a second behind: still kept
  EXPECT_FALSE(queue.Push(message, start + 1001ms));
  EXPECT_EQ(queue.Size(), 2u);
  queue.Pop();  // it wrote one: now it is the later one it is behind by
  EXPECT_TRUE(queue.Push(message, start + 1500ms));
}

TEST(Options, OutputsAndAddresses) {
  Options options;
  EXPECT_TRUE(ParseOptions({"--folder", "d", "--osc", "localhost:9000", "--osc", "[::1]:9001",
                            "--osc-listen", "9002", "--ws", "8080", "--allow-origin",
                            "HTTP://Example.com", "--allow-origin", "https://[::1]:8443/"},
                           options));
  EXPECT_EQ(options.allowOrigins,
            (std::vector<std::string>{"http://example.com:80", "https://[::1]:8443"}));
  EXPECT_EQ(options.folder, "d");
  ASSERT_EQ(options.oscTargets.size(), 2u);
  EXPECT_EQ(options.oscTargets[1].host, "::1");
  EXPECT_EQ(options.oscListen.host, "127.0.0.1");
  EXPECT_EQ(options.oscListen.port, 9002);
  EXPECT_EQ(options.wsHost, "127.0.0.1");
  EXPECT_EQ(options.oscScheme, osc::Scheme::kByPointer);
  EXPECT_TRUE(ParseOptions({"--osc", "h:1", "--osc-scheme", "legacy"}, options));
  EXPECT_EQ(options.oscScheme, osc::Scheme::kLegacy);

  // Each refusal names the option at fault.
  const std::vector<std::pair<std::vector<std::string>, std::string>> bad = {
      {{}, "--osc"}, {{"--osc", "9000"}, "--osc"}, {{"--ws", "70000"}, "--ws"}, {{"--ws"}, "--ws"},
      {{"--wx", "1"}, "--wx"}, {{"--ws", "1", "--ws-host", "example.com"}, "--ws-host"},
      {{"--ws", "1", "--ws-host", "127.1"}, "--ws-host"},
      {{"--osc-listen", "example.com:9000"}, "--osc-listen"},
      // Given twice, the second would silently replace the first.
      {{"--ws", "1", "--ws", "2"}, "--ws"},
      {{"--osc-listen", "1", "--osc-listen", "2"}, "--osc-listen"},
      {{"--ws", "1", "--allow-origin", "example.com"}, "--allow-origin"},
      {{"--ws", "1", "--allow-origin", "http://example.com/page"}, "--allow-origin"},
      {{"--ws", "1", "--allow-origin", "http://example.com:0"}, "--allow-origin"},
      {{"--osc", "h:1", "--osc-scheme", "pointer"}, "--osc-scheme"},
      {{"--osc", "h:1", "--osc-scheme", "legacy", "--osc-scheme", "legacy"}, "--osc-scheme"},
  };
  for (const auto& [arguments, option] : bad) {
    Options ignored;
    const Outcome parsed = ParseOptions(arguments, ignored);
    EXPECT_FALSE(parsed) << option;
    EXPECT_NE(parsed ? std::string::npos : parsed.Error().find(option), std::string::npos)
        << option;
  }
  Options ignored;
  EXPECT_EQ(ParseOptions({"--wx", "1"}, ignored).Error(), "unknown option \"--wx\"");
  EXPECT_TRUE(ParseOptions({"--ws", "1", "--ws-host", "::", "--osc-listen", "[::1]:2"}, ignored));
  EXPECT_EQ(ShowEndpoint("::", 18021), "[::]:18021");
  EXPECT_EQ(ShowEndpoint("127.0.0.1", 18021), "127.0.0.1:18021");
  EXPECT_TRUE(IsLoopback("127.0.0.1"));
  EXPECT_FALSE(IsLoopback("0.0.0.0"));
}

}  // namespace
}  // namespace bridge
