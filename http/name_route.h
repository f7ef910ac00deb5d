// The route on which a phone names its pointer: "GET /name/NN", NN the
// pointer's number as two hexadecimal digits as in the reports, with the
// name percent-encoded in the request header "TVXName" (empty: no name any
// more). The name travels in a header, never in the path, because request
// paths are traced into the diagnostic log and names must never be written
// anywhere.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "pointer/pointer_names.h"

inline constexpr std::string_view kNameRoute = "/name/";
inline constexpr std::string_view kNameHeader = "tvxname:";

// The pointer number of a lower-case "/name/NN" path; false for anything else.
bool ParseNamePath(std::string_view routingPath, int& pointer);

enum class NameHeader { kFound, kMissing, kBadEncoding };
// Finds the TVXName header of the request's header lines and decodes its
// value into name. Decoded names longer than this are cut short and refused
// later as too long, so that a long header costs nothing more.
NameHeader DecodeNameHeader(std::string_view request, std::string& name);

// What the route answers, and what it tells the log (never the name).
struct NameVerdict {
  int status = 204;
  std::string_view reason;  // the plain-text body of a refusal
};

// Decides a naming request. holds says whether the phone at an address
// holds a pointer's number; only that phone may name it.
class NameRoute {
 public:
  using HolderCheck = std::function<bool(int pointer, std::uint32_t peerAddress)>;

  NameRoute(PointerNames& names, HolderCheck holds) : names_(names), holds_(std::move(holds)) {}

  NameVerdict Handle(std::string_view routingPath, std::string_view request,
                     std::uint32_t peerAddress);

 private:
  PointerNames& names_;
  HolderCheck holds_;
};
