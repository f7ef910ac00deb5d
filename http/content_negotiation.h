// What a request's headers say about the representation it wants: whether
// the body may go gzip-compressed, and whether the copy the browser holds is
// still the current one.
#pragma once

#include <string_view>

// True when the request's Accept-Encoding admits gzip: "gzip" (or "x-gzip")
// listed with a quality above 0, or not listed and "*" listed so. Names are
// matched in any letter case; no Accept-Encoding admits nothing.
bool AcceptsGzip(std::string_view request);

// True when an If-None-Match line of the request lists entityTag or "*".
// Tags compare weakly, as that header asks: a W/ prefix on either side is
// ignored.
bool MatchesEntityTag(std::string_view request, std::string_view entityTag);

// Whether the browser holds the version with this tag and date: by
// If-None-Match when the request has one, else by an If-Modified-Since line
// that repeats lastModified exactly (a browser sends back the date it got).
bool HoldsCurrentVersion(std::string_view request, std::string_view entityTag,
                         std::string_view lastModified);
