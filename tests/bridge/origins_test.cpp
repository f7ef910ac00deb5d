// An origin's canonical form: what a browser sends and what an operator types
// for the same page meet; anything that is no page's origin is nothing.
#include "bridge/origins.h"

#include <gtest/gtest.h>

namespace bridge {
namespace {

TEST(CanonicalOriginTest, SameOriginsMeetAndOtherTextIsNothing) {
  const struct {
    const char* origin;
    const char* canonical;  // "": no origin
  } cases[] = {
      {"http://Example.ORG", "http://example.org:80"},
      {"HTTPS://example.org/", "https://example.org:443"},
      {"http://[::1]", "http://[::1]:80"},
      {"http://[::1]:018021", "http://[::1]:18021"},
      {"http://10.0.0.5:1", "http://10.0.0.5:1"},
      {"http://10.0.0.5:65535", "http://10.0.0.5:65535"},
      {"http://10.0.0.5:0", ""},
      {"http://10.0.0.5:65536", ""},
      {"http://10.0.0.5:", ""},
      {"http://10.0.0.5:8o", ""},
      {"ftp://example.org", ""},
      {"null", ""},
      {"http://", ""},
      {"http://[]:80", ""},
      {"http://example.org/page", ""},
      {"http://user@example.org", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(CanonicalOrigin(c.origin), c.canonical) << c.origin;
}

}  // namespace
}  // namespace bridge
