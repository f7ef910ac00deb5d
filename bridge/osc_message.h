// The few OSC 1.0 messages TVXBridge sends and takes, as bytes.
//
// Written here rather than taken from liblo: liblo would need a Windows
// cross-build of its own in tools/bootstrap, while these messages need only
// padded strings and big-endian 32-bit numbers. The tests hold the encoding
// against liblo's own oscdump and oscsend.
#pragma once

#include <cstddef>
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

// How reports are addressed. By pointer (the default), each report is three
// messages whose address names the phone and the value, so that patching
// tools route them with their plain routers and no word is one of their
// own selectors:
//   /tvxhdv/p3/xy f f        x and y from 0.0 to 1.0
//   /tvxhdv/p3/buttons i i   left, right
//   /tvxhdv/p3/pad i         on_pad
// Legacy: one /tvxhdv/pointer i f f i i i i per report (pointer, x, y, left,
// right, on_pad, frame), for programs built on it.
enum class Scheme { kByPointer, kLegacy };

// The most reports one datagram carries in that scheme: as many as fit one
// Ethernet frame, and at most 24.
std::size_t ReportsPerDatagram(Scheme scheme);

// /tvxhdv/pointer i f f i i i i, the legacy message of one report.
std::string EncodeReport(const tvxhdv_report& report);
// Reports that leave together, as one datagram written over out (whose
// capacity is kept): a legacy report alone as its message, otherwise a
// bundle of the messages, to be handled at once (time tag 1).
void EncodeReports(std::span<const tvxhdv_report> reports, Scheme scheme, std::string& out);
std::string EncodeReports(std::span<const tvxhdv_report> reports, Scheme scheme);
// A phone joined (1) or left (0), with the pointers present after it, as one
// bundle: /tvxhdv/p3/present i and /tvxhdv/alive i i ...
std::string EncodePresence(unsigned pointer, bool joined, std::span<const unsigned> present);
// /tvxhdv/p3/name s: the phone's name, empty when it has none now.
std::string EncodeName(unsigned pointer, std::string_view name);
// /tvxhdv/alive i i ...: the pointers present, none when the list is empty.
std::string EncodeAlive(std::span<const unsigned> present);
// /tvxhdv/server s: "gone" or "new".
std::string EncodeServer(bool running);
// /tvxhdv/error s.
std::string EncodeError(std::string_view text);

// Reads one message; nullopt with why in problem when the bytes are not one
// (a bundle, a cut-short packet, a type other than i, f or s).
std::optional<Message> Decode(std::string_view packet, std::string& problem);

}  // namespace bridge::osc
