// INI files on Linux, giving the results the Windows private-profile
// functions give: read with SimpleIni, written line by line so that a write
// changes only the line of its key. A write makes the new file beside the old
// one and renames it over, so that a full disk or a crash midway leaves the
// old file whole.
#include "platform/profile.h"

#define SI_NO_CONVERSION  // values are 8-bit text, stored as they are
#include <SimpleIni.h>

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>

#include "platform/posix/system_error.h"
#include "platform/posix/write_all.h"

namespace platform {
namespace {

// Section and key names compare without regard to case, as on Windows.
using IniFile = CSimpleIniTempl<char, SI_NoCase<char>, SI_ConvertA<char>>;

// The file's bytes, or the failure to read them (ENOENT: there is none).
// Only a regular file is read: a symbolic link (ELOOP) or a FIFO, device or
// folder (EINVAL, EISDIR) put where the file goes is refused, and opening
// never waits, so a FIFO cannot hold the caller.
Result ReadWholeFile(const std::string& file, std::string& text) {
  text.clear();
  const int fd = open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return LastFailure();
  Result result;
  struct stat info {};
  if (fstat(fd, &info) != 0) {
    result = LastFailure();
  } else if (!S_ISREG(info.st_mode)) {
    result = Failure(S_ISDIR(info.st_mode) ? EISDIR : EINVAL);
  }
  char buffer[8192];
  while (result) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) result = LastFailure();
    if (got <= 0) break;
    text.append(buffer, static_cast<std::size_t>(got));
  }
  close(fd);
  return result;
}

// A file that cannot be read loads as empty; the result says why.
Result LoadInto(IniFile& ini, const std::string& file) {
  ini.SetUnicode(false);
  ini.SetMultiKey(false);
  ini.SetSpaces(false);
  std::string text;
  const Result read = ReadWholeFile(file, text);
  if (read) ini.LoadData(text);
  return read;
}

// Windows drops one pair of matching quotes around a value.
std::string_view WithoutQuotes(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

// The stored value, or nullptr when the file, section or key is missing.
const char* FindValue(const IniFile& ini, const char* section, const char* key) {
  return ini.GetValue(section, key, nullptr);
}

std::string_view Trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// The name of a "[name]" line, or nullopt for any other line.
std::optional<std::string_view> SectionName(std::string_view line) {
  const std::string_view trimmed = Trimmed(line);
  if (trimmed.empty() || trimmed.front() != '[') return std::nullopt;
  const std::size_t close = trimmed.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Trimmed(trimmed.substr(1, close - 1));
}

bool IsKeyLine(std::string_view line, std::string_view key) {
  const std::size_t equals = line.find('=');
  return equals != std::string_view::npos && SameName(Trimmed(line.substr(0, equals)), key);
}

// The file's text with section/key set to value. Lines keep their own ends;
// new lines take the file's first line end (CR LF for a new file).
std::string WithValue(const std::string& text, std::string_view section, std::string_view key,
                      std::string_view value) {
  const std::size_t firstEnd = text.find('\n');
  const std::string_view newLine =
      firstEnd == std::string::npos || (firstEnd > 0 && text[firstEnd - 1] == '\r') ? "\r\n" : "\n";
  const std::string keyLine = std::string(key) + "=" + std::string(value);

  bool inSection = false;
  std::size_t insertAt = std::string::npos;  // after the section's last non-blank line
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = text.find('\n', at);
    const std::size_t next = end == std::string::npos ? text.size() : end + 1;
    std::string_view line(text.data() + at, next - at);
    const std::size_t contentLength = line.find_last_not_of("\r\n") + 1;
    const std::string_view content = line.substr(0, contentLength);
    if (const auto name = SectionName(content)) {
      if (inSection) break;  // the first section of that name is the one
      inSection = SameName(*name, section);
      if (inSection) insertAt = next;
    } else if (inSection && IsKeyLine(content, key)) {
      // The key keeps the spelling the file gives it.
      const std::string_view stored = Trimmed(content.substr(0, content.find('=')));
      return text.substr(0, at) + std::string(stored) + "=" + std::string(value) +
             std::string(line.substr(contentLength)) + text.substr(next);
    } else if (inSection && !Trimmed(content).empty()) {
      insertAt = next;
    }
    at = next;
  }

  std::string written = text;
  if (!written.empty() && written.back() != '\n') written += newLine;
  if (insertAt == std::string::npos) {
    return written + "[" + std::string(section) + "]" + std::string(newLine) + keyLine +
           std::string(newLine);
  }
  if (insertAt >= text.size()) insertAt = written.size();
  return written.insert(insertAt, keyLine + std::string(newLine));
}

std::string ValueOrFallback(const IniFile& ini, const char* section, const char* key,
                            const char* fallback, std::size_t bufferSize) {
  const char* stored = FindValue(ini, section, key);
  std::string_view value = stored != nullptr ? WithoutQuotes(stored) : std::string_view(fallback);
  if (bufferSize == 0) return {};
  if (value.size() > bufferSize - 1) value = value.substr(0, bufferSize - 1);
  return std::string(value);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The rename is on disk once the folder is; a failure here leaves the new
// file in place all the same.
void SyncFolderOf(const std::string& file) {
  const std::size_t slash = file.find_last_of('/');
  const std::string folder =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : file.substr(0, slash));
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

// Writes text over the file's own bytes. A crash midway can leave it part
// written, so this is only for files that a new file cannot stand in for.
Result WriteInPlace(const std::string& file, std::string_view text) {
  const int fd = open(file.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return LastFailure();
  Result result = WriteAll(fd, text);
  if (result && ftruncate(fd, static_cast<off_t>(text.size())) != 0) result = LastFailure();
  if (result && fsync(fd) != 0) result = LastFailure();
  if (close(fd) != 0 && result) result = LastFailure();
  return result;
}

// The file holds text afterwards, or, on failure, what it held before. The
// new file is written beside the old one and renamed over it; it takes the
// old one's owner, group and permissions, a file made anew those of the
// process and its file mode mask. A file that a new one cannot stand in for
// is written in place: one with other names (hard links), one whose owner
// this process cannot give the new file, and one in a folder that takes no
// new file.
Result ReplaceFile(const std::string& file, std::string_view text) {
  struct stat old {};
  const bool exists = lstat(file.c_str(), &old) == 0;
  if (exists && S_ISLNK(old.st_mode)) return Failure(ELOOP);
  // Only a file this process may write is changed, as it would be were it
  // written in place: the owner's write permission counts for root too, and
  // a folder others may write lets nobody replace a file they may not write.
  if (exists &&
      ((old.st_mode & S_IWUSR) == 0 || faccessat(AT_FDCWD, file.c_str(), W_OK, AT_EACCESS) != 0))
    return Failure(EACCES);
  if (exists && old.st_nlink > 1) return WriteInPlace(file, text);
  static std::atomic<unsigned> serial{0};
  const std::string temporary =
      file + ".~" + std::to_string(getpid()) + "-" + std::to_string(++serial);
  const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    if (exists && (errno == EACCES || errno == EPERM || errno == EROFS))
      return WriteInPlace(file, text);
    return LastFailure();
  }
  Result result;
  if (exists && (old.st_uid != geteuid() || old.st_gid != getegid()) &&
      fchown(fd, old.st_uid, old.st_gid) != 0) {
    close(fd);
    unlink(temporary.c_str());
    return WriteInPlace(file, text);
  }
  if (exists && fchmod(fd, old.st_mode & 07777) != 0) result = LastFailure();
  if (result) result = WriteAll(fd, text);
  if (result && fsync(fd) != 0) result = LastFailure();
  if (close(fd) != 0 && result) result = LastFailure();
  if (result && rename(temporary.c_str(), file.c_str()) != 0) result = LastFailure();
  if (!result) {
    unlink(temporary.c_str());
    return result;
  }
  SyncFolderOf(file);
  return Result();
}

}  // namespace

std::string SettingsFileTarget(const std::string& file) {
  std::string target = file;
  // As many links as the system itself follows in one path.
  for (int hops = 0; hops < 40; ++hops) {
    char link[4096];
    const ssize_t length = readlink(target.c_str(), link, sizeof link);
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof link) return target;
    std::string next(link, static_cast<std::size_t>(length));
    const std::size_t slash = target.find_last_of('/');
    if (next.front() != '/' && slash != std::string::npos)
      next = target.substr(0, slash + 1) + next;
    target = std::move(next);
  }
  return target;
}

Result ProfileCheckReadable(const std::string& file) {
  struct stat info {};
  if (lstat(file.c_str(), &info) != 0) return errno == ENOENT ? Result() : LastFailure();
  std::string text;
  return ReadWholeFile(SettingsFileTarget(file), text);
}

std::string ProfileReadString(const std::string& file, const char* section, const char* key,
                              const char* fallback, std::size_t bufferSize) {
  IniFile ini;
  static_cast<void>(LoadInto(ini, file));  // a file that cannot be read gives the fallback
  return ValueOrFallback(ini, section, key, fallback, bufferSize);
}

Result ProfileReadRequired(const std::string& file, const char* section, const char* key,
                           std::size_t bufferSize, std::string& value) {
  IniFile ini;
  const Result read = LoadInto(ini, file);
  if (!read) {
    value.clear();
    return read;
  }
  value = ValueOrFallback(ini, section, key, "", bufferSize);
  return value.empty() ? Failure(ENOENT) : Result();
}

int ProfileReadInt(const std::string& file, const char* section, const char* key, int fallback) {
  IniFile ini;
  static_cast<void>(LoadInto(ini, file));  // a file that cannot be read gives the fallback
  const char* stored = FindValue(ini, section, key);
  if (stored == nullptr) return fallback;
  return static_cast<int>(std::strtol(stored, nullptr, 10));
}

Result ProfileWriteString(const std::string& file, const char* section, const char* key,
                          const char* value) {
  std::string text;
  const Result read = ReadWholeFile(file, text);  // a missing file starts empty
  if (!read && read.Code() != ENOENT) return read;
  return ReplaceFile(file, WithValue(text, section, key, value));
}

Result ProfileReadStruct(const std::string& file, const char* section, const char* key, void* data,
                         std::size_t size) {
  IniFile ini;
  static_cast<void>(LoadInto(ini, file));  // a file that cannot be read gives the fallback
  const char* stored = FindValue(ini, section, key);
  if (stored == nullptr) return Failure(ENOENT);
  if (std::strlen(stored) != 2 * size + 2) return Failure(EINVAL);

  // Decode everything first: a refused value leaves the caller's struct as it was.
  std::string decoded(size + 1, '\0');
  for (std::size_t i = 0; i <= size; ++i) {
    const int high = HexDigit(stored[2 * i]);
    const int low = HexDigit(stored[2 * i + 1]);
    if (high < 0 || low < 0) return Failure(EINVAL);
    decoded[i] = static_cast<char>(high * 16 + low);
  }
  unsigned checksum = 0;
  for (std::size_t i = 0; i < size; ++i) checksum += static_cast<unsigned char>(decoded[i]);
  if (static_cast<unsigned char>(decoded[size]) != (checksum & 0xFF)) return Failure(EINVAL);
  std::memcpy(data, decoded.data(), size);
  return Result();
}

Result ProfileWriteStruct(const std::string& file, const char* section, const char* key,
                          const void* data, std::size_t size) {
  static const char kDigits[] = "0123456789ABCDEF";
  const auto* bytes = static_cast<const unsigned char*>(data);
  std::string text;
  text.reserve(2 * size + 2);
  unsigned checksum = 0;
  for (std::size_t i = 0; i < size; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
    checksum += bytes[i];
  }
  text += kDigits[(checksum >> 4) & 0x0F];
  text += kDigits[checksum & 0x0F];
  return ProfileWriteString(file, section, key, text.c_str());
}

}  // namespace platform
