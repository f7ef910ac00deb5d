// The few OSC 1.0 messages TVXBridge sends and takes, as bytes.
//
// Written here rather than taken from liblo: liblo would need a Windows
// cross-build of its own in tools/bootstrap, while these messages need only
// padded strings and big-endian 32-bit numbers. The tests hold the encoding
// against liblo's own oscdump and oscsend.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "sdk/c/tvxhdv.h"

namespace bridge::osc {

// One argument of a received message: i, f or s.
using Argument = std::variant<std::int32_t, float, std::string>;

struct Message {
  std::string address;
  std::string types;  // the type tags without the leading comma: "is"
  std::vector<Argument> arguments;
};

// /tvxhdv/pointer i f f i i i i: pointer, x and y from 0.0 to 1.0, left,
// right, on_pad, frame.
std::string EncodeReport(const tvxhdv_report& report);
// Reports that leave together: one alone as its message, several as a
// bundle of their messages, to be handled at once (time tag 1).
std::string EncodeReports(std::span<const tvxhdv_report> reports);
// /tvxhdv/server s: "gone" or "new".
std::string EncodeServer(bool running);
// /tvxhdv/error s.
std::string EncodeError(std::string_view text);

// Reads one message; nullopt with why in problem when the bytes are not one
// (a bundle, a cut-short packet, a type other than i, f or s).
std::optional<Message> Decode(std::string_view packet, std::string& problem);

}  // namespace bridge::osc
