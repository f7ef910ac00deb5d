#include "http/request_path.h"

#include "common/ascii.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(RequestPathTest, OrdinaryPathsStayInside) {
  for (const char* path :
       {"/index.html", "/a/b/c.txt", "/.hidden", "/..x", "/x..", "/a.b.c", "/%2e%2e/secret.txt",
        "/console.html", "/com10", "/lpt", "/with space", "/index.html?x=1"}) {
    EXPECT_TRUE(IsPathInsideRoot(path)) << path;
  }
}

TEST(RequestPathTest, ClimbingAndTrickPathsAreRefused) {
  for (const char* path : {"",
                           "index.html",
                           "/..",
                           "/../secret.txt",
                           "/a/../../secret.txt",
                           "/a/..",
                           "/.",
                           "/./x",
                           "/...",
                           "/.. /x",
                           "/. ./x",
                           "/ /x",
                           "/..\\secret.txt",
                           "/a\\..\\..\\b",
                           "\\secret.txt",
                           "//etc/passwd",
                           "/a//b",
                           "/dir/",
                           "/C:/secret.txt",
                           "/c:secret.txt",
                           "/file.txt::$DATA",
                           "/CON",
                           "/con.txt",
                           "/Nul",
                           "/aux.html",
                           "/a/COM1",
                           "/lpt9.log",
                           "/prn .txt",
                           "/x\x01y",
                           "/x\ty"}) {
    EXPECT_FALSE(IsPathInsideRoot(path)) << path;
  }
  EXPECT_FALSE(IsPathInsideRoot(std::string("/a\0/../../b", 11)));
}

// Header names and options match in any letter case, wherever the match
// starts: also on a letter, and not only on a line's start.
TEST(AsciiCaseTest, ContainsMatchesInAnyCaseFromAnyStart) {
  EXPECT_TRUE(ContainsIgnoringCase("Connection: KEEP-ALIVE", "keep-alive"));
  EXPECT_TRUE(ContainsIgnoringCase("x-Connection", "connection"));
  EXPECT_FALSE(ContainsIgnoringCase("keep-aliv", "keep-alive"));
  EXPECT_TRUE(StartsWithIgnoringCase("COOKIE: a=b", "cookie:"));
}

}  // namespace
