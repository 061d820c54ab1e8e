// Core paths against native Linux paths, the drive table and the mount table.
#include "platform/posix/posix_paths.h"

#include <sys/stat.h>

#include <algorithm>
#include <set>

#include "platform/file_io.h"
#include "platform/text_encoding.h"
#include "snapshot/gbk_text.h"

namespace korvane::posix {
namespace {

std::string WithoutFinalSlashes(std::string directory) {
  while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
  return directory;
}

// mountinfo writes space, tab, newline and backslash in its fields as "\040", "\011", "\012", "\134".
std::string Unescaped(std::string_view field) {
  std::string text;
  for (size_t i = 0; i < field.size(); ++i) {
    const auto octal = [&](size_t at) { return at < field.size() && field[at] >= '0' && field[at] <= '7'; };
    if (field[i] == '\\' && octal(i + 1) && octal(i + 2) && octal(i + 3)) {
      text.push_back(static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0')));
      i += 3;
    } else {
      text.push_back(field[i]);
    }
  }
  return text;
}

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t at = 0;
  while (at < line.size()) {
    const size_t end = std::min(line.find(' ', at), line.size());
    if (end > at) fields.push_back(line.substr(at, end - at));
    at = end + 1;
  }
  return fields;
}

bool IsDirectory(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

}  // namespace

DriveTable ParseDriveMap(std::string_view text, std::string_view workingDirectory) {
  DriveTable drives;
  while (!text.empty()) {
    const size_t end = std::min(text.find(';'), text.size());
    const std::string_view entry = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    if (entry.size() < 3 || entry[1] != '=') continue;
    const char letter = entry[0];
    if (!((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z'))) continue;
    std::string directory(entry.substr(2));
    if (directory[0] != '/') directory = WithoutFinalSlashes(std::string(workingDirectory)) + "/" + directory;
    drives[static_cast<char>(letter & ~0x20)] = WithoutFinalSlashes(std::move(directory));
  }
  return drives;
}

std::vector<MountEntry> ParseMountInfo(std::string_view text) {
  std::vector<MountEntry> mounts;
  while (!text.empty()) {
    const size_t end = std::min(text.find('\n'), text.size());
    const std::vector<std::string_view> fields = Fields(text.substr(0, end));
    text.remove_prefix(std::min(end + 1, text.size()));
    // ID PARENT MAJOR:MINOR ROOT MOUNT-POINT OPTIONS [OPTIONAL FIELDS...] - TYPE SOURCE SUPER-OPTIONS
    const auto separator = std::find(fields.begin(), fields.end(), "-");
    if (fields.size() < 6 || separator - fields.begin() < 6 || fields.end() - separator < 3) continue;
    mounts.push_back({std::string(fields[2]), Unescaped(fields[3]), Unescaped(fields[4]), Unescaped(separator[1]),
                      Unescaped(separator[2])});
  }
  return mounts;
}

std::vector<MountEntry> ReadMountTable() {
  const std::optional<Bytes> text = ReadWholeFile("/proc/self/mountinfo");
  return text ? ParseMountInfo(*text) : std::vector<MountEntry>{};
}

DriveTable DefaultDrives(const std::vector<MountEntry>& mounts) {
  DriveTable drives{{'C', "/"}};
  std::set<std::string> devices;
  for (const MountEntry& mount : mounts) {
    if (mount.mountPoint == "/") devices.insert(mount.device);
  }
  char letter = 'D';
  for (const MountEntry& mount : mounts) {
    if (letter > 'Z') break;
    if (!mount.source.starts_with("/dev/") || devices.count(mount.device)) continue;
    // Containers bind single files (/etc/hosts) from block devices; a file is no drive.
    if (!IsDirectory(mount.mountPoint)) continue;
    devices.insert(mount.device);
    drives[letter++] = mount.mountPoint;
  }
  return drives;
}

const MountEntry* MountHolding(const std::vector<MountEntry>& mounts, std::string_view path) {
  const MountEntry* holding = nullptr;
  for (const MountEntry& mount : mounts) {
    const std::string_view point = mount.mountPoint;
    const bool holds = point == "/" || (path.starts_with(point) && (path.size() == point.size() || path[point.size()] == '/'));
    if (holds && (!holding || point.size() >= holding->mountPoint.size())) holding = &mount;
  }
  return holding;
}

CorePathParts SplitDrive(std::string_view corePath) {
  if (corePath.size() >= 2 && corePath[1] == ':') {
    const char letter = corePath[0];
    if ((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z')) {
      return {static_cast<char>(letter & ~0x20), corePath.substr(2)};
    }
  }
  return {std::nullopt, corePath};
}

std::string NativeText(std::string_view coreText) {
  // In UTF-8 every 0x5C byte is a "\" of its own, so the separators can be swapped after converting.
  std::string native = Gb18030ToUtf8(coreText).text;
  std::replace(native.begin(), native.end(), '\\', '/');
  return native;
}

std::optional<std::string> CoreName(std::string_view nativeName) {
  if (nativeName.find('\\') != std::string_view::npos) return std::nullopt;
  Gb18030Conversion converted = Utf8ToGb18030(nativeName);
  if (converted.invalidAt) return std::nullopt;
  return std::move(converted.text);
}

std::u16string ListingKey(std::string_view utf8) {
  std::u16string key;
  key.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (length == 1 || i + length > utf8.size()) {
      key.push_back(lead >= 'a' && lead <= 'z' ? static_cast<char16_t>(lead - 'a' + 'A') : lead);
      ++i;
      continue;
    }
    char32_t point = lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) point = (point << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    if (point >= 0x10000) {
      key.push_back(static_cast<char16_t>(0xD800 + ((point - 0x10000) >> 10)));
      key.push_back(static_cast<char16_t>(0xDC00 + ((point - 0x10000) & 0x3FF)));
    } else {
      key.push_back(static_cast<char16_t>(point));
    }
    i += length;
  }
  return key;
}

std::optional<std::string> DrivelessCorePath(std::string_view nativePath) {
  if (nativePath.find('\\') != std::string_view::npos) return std::nullopt;
  Gb18030Conversion converted = Utf8ToGb18030(WithoutFinalSlashes(std::string(nativePath)));
  if (converted.invalidAt) return std::nullopt;
  // GB18030 has no 0x2F byte inside a multibyte character, so every "/" is a separator.
  std::replace(converted.text.begin(), converted.text.end(), '/', '\\');
  if (converted.text == "\\") converted.text.clear();
  return std::move(converted.text);
}

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

}  // namespace korvane::posix
