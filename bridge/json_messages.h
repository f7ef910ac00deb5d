// The WebSocket side's JSON: the reports, server changes and presence sent,
// and the commands and settings taken.
#pragma once

#include <string>
#include <span>
#include <string_view>
#include <vector>

#include "bridge/commands.h"
#include "bridge/outcome.h"
#include "sdk/c/tvxhdv.h"

namespace bridge::json {

// {"pointer":3,"x":0.5,"y":0.25,"left":false,"right":false,"onPad":true,"frame":17}
std::string Report(const tvxhdv_report& report);
// The reports of one pass as one array of the objects above.
std::string Reports(const tvxhdv_report* reports, int count);
// {"server":"gone"} or {"server":"new"}
std::string Server(bool running);
// {"server":"busy","holder":"..."}, without the holder when it is unknown.
std::string Busy(const std::string& holder);
// What a client learns as it connects: the server's state ("running",
// "gone", "busy" with its holder when known) and every present pointer,
// {"server":"running","present":[{"pointer":3,"name":"Mia"},{"pointer":7}]}:
// a pointer carries the name that names[pointer] holds, if not empty.
std::string State(std::string_view server, const std::string& holder,
                  const std::vector<unsigned>& present, std::span<const std::string> names = {});
// {"join":{"pointer":3}}, {"join":{"pointer":3,"name":"Mia"}} or
// {"leave":{"pointer":3}}
std::string Presence(unsigned pointer, bool joined, const std::string& name = {});
// {"rename":{"pointer":3,"name":"Mia"}}; an empty name: it has none now.
std::string Rename(unsigned pointer, const std::string& name);
// {"error":"..."}
std::string Error(std::string_view text);

// What a client asks: a command for a phone, or reports in arrays or not.
struct Request {
  enum class Kind { kCommand, kBatch };
  Kind kind = Kind::kCommand;
  PhoneCommand command;  // kCommand
  bool batch = false;    // kBatch
};

// Reads one of
//   {"vibrate":{"pointer":3,"pattern":"short-single"}}  (or pattern 1 to 6)
//   {"send":{"pointer":3,"code":161}}                   (codes 1 to 254)
//   {"show":{"pointer":3,"what":"correct"}}  "wrong", "clear", or
//        "what":"colour","n":0-7 / "what":"digit","n":0-9
//   {"drop":{"pointer":3}}                  what waits for that phone
//   {"batch":true}                          a pass's reports as one array
// into request, or says what is wrong with it.
Outcome ReadRequest(std::string_view text, Request& request);

}  // namespace bridge::json
