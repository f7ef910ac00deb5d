// The addresses Codeplate encodes for TVXHandvane's page: the page on this PC
// when URL is "auto", and a link per pointer number that the page reads as
// the phone's number.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/network_addresses.h"

// Where the server can be reached: the PC's network addresses (loopback left
// out), of which the page code takes the one TVXHandvane shows first,
// the port of TVXHandvane's INI file and the class's access key.
struct ServerLocation {
  std::vector<platform::NetworkAddress> addresses;
  int port = 8080;
  std::string accessKey;  // empty: the class has none
  // TVXHandvane makes its key at every start, and none runs that told it.
  bool accessKeyUnknown = false;
  // The key file there is was left by a server that no longer runs (its
  // process id, 0 when the file names none).
  bool accessKeyStale = false;
  std::uint32_t staleKeyProcess = 0;
};

// The access key phones need, from TVXHandvane's INI file: empty without
// AccessKey; the key as written; and for "auto" (or a text the server cannot
// use, which makes it do the same) the key the running server wrote to its
// key file. A key file is believed only while the process it names runs and
// holds the shared memory area it names: after a crash, or beside a file the
// server could not replace, its key is dead. Nothing when there is no live
// key; the location then says whether a dead one was found.
std::optional<std::string> ReadServerAccessKey(const std::string& serverIniFile,
                                               const std::string& serverKeyFile,
                                               ServerLocation& server);

// Control/Port of TVXHandvane's INI file, read as the server reads it: 8080
// without the file or the key, or when the value does not start with a number.
int ReadServerPort(const std::string& serverIniFile);

// "auto" in any letter case.
bool IsAutoUrl(std::string_view url);

// The stored URL as it is, or for "auto" http://A.B.C.D:PORT/ with the first
// of the server's addresses and, when the class has one, its access key
// (#key=KEY). Refused, with the reason and a line end written to messages,
// when "auto" meets a PC without a network address (a code for 127.0.0.1
// would send every phone to itself), a port outside 1 to 65535 or a key that
// is not known.
std::optional<std::string> PageUrl(const std::string& storedUrl, const ServerLocation& server,
                                   std::ostream& messages);

// The page's address that sets the phone's pointer number: "#pointer=N" after
// it, first in the fragment when it carries one already ("#pointer=N&key=KEY").
// The fragment's other parameters stay as they were.
std::string PointerPageUrl(std::string_view pageUrl, int pointer);

// The folder part of a path with its trailing separator; empty for a bare name.
std::string FolderOf(std::string_view path);

// pointerNN.bmp (two digits) in the folder of file.
std::string PointerBitmapFile(std::string_view file, int pointer);
