// The WebSocket side's JSON: the reports and server changes sent, each as
// one object, and the two commands taken.
#pragma once

#include <string>
#include <string_view>

#include "bridge/commands.h"
#include "bridge/outcome.h"
#include "sdk/c/tvxhdv.h"

namespace bridge::json {

// {"pointer":3,"x":0.5,"y":0.25,"left":false,"right":false,"onPad":true,"frame":17}
std::string Report(const tvxhdv_report& report);
// {"server":"gone"} or {"server":"new"}
std::string Server(bool running);
// {"server":"busy","holder":"..."}, without the holder when it is unknown.
std::string Busy(const std::string& holder);
// {"error":"..."}
std::string Error(std::string_view text);

// Reads {"vibrate":{"pointer":3,"pattern":"short-single"}} (or pattern 1 to
// 6) or {"send":{"pointer":3,"code":161}} into command, or says what is
// wrong with it.
Outcome ReadCommand(std::string_view text, PhoneCommand& command);

}  // namespace bridge::json
