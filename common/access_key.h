// The class's access key. AccessKey under [Control] of TVXHandvane.INI asks
// for one: a text of the operator's, or "auto" for a new random key at every
// start of TVXHandvane. Phones get it from the page's address and send it back
// as the cookie TVXKey with every report. A key made at start is known only
// to the running server, which therefore writes it to its key file (.KEY
// beside the program, readable by the operator alone) for Codeplate.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/result.h"

inline constexpr std::string_view kAccessKeyCookieName = "TVXKey";
inline constexpr std::size_t kRandomAccessKeyLength = 8;

// "auto" in any letter case.
bool IsAutoAccessKey(std::string_view setting);

// A key the page can take from a link's fragment and keep in a cookie as it
// is: 1 to 128 letters, digits, ".", "_", "~" and "-".
bool IsUsableAccessKey(std::string_view key);

// Whether the AccessKey setting has TVXHandvane make a new key at every start:
// "auto", and a text the page could not carry. Empty (no key) and a usable
// key of the operator's are taken as they are.
bool IsAccessKeyMadeAtStart(std::string_view setting);

// kRandomAccessKeyLength letters and digits, each as likely as the others,
// from the system's random source; nothing when that source failed.
std::optional<std::string> NewRandomAccessKey();

// What a key file holds: the key, and the server that made it (its process
// id and its shared memory area's name), so that a key left behind by a
// server that has ended can be told from the running server's.
struct PublishedAccessKey {
  std::string key;
  std::uint32_t processId = 0;  // 0 in a file that names no process
  std::string areaName;
};

// The key file's contents are three lines: the key, the process id and the
// area's name.
platform::Result PublishAccessKey(const std::string& keyFile, const PublishedAccessKey& published);
// A key file's contents; nothing when there is no file or it holds no usable key.
std::optional<PublishedAccessKey> ReadPublishedAccessKey(const std::string& keyFile);
