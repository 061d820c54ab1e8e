// Core paths (GBK, "\" separators, drive letters) against native Linux paths, the drive table and the mount table.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::posix {

// Drive letter (upper case) to the native directory that stands for its root.
using DriveTable = std::map<char, std::string>;

// "C=/;D=/srv/data": letters of either case, directories made absolute against workingDirectory and
// without a final "/"; malformed entries are ignored, and a letter given twice takes the later directory.
DriveTable ParseDriveMap(std::string_view text, std::string_view workingDirectory);

// One line of /proc/self/mountinfo, with the octal escapes of its fields undone.
struct MountEntry {
  std::string device;  // "major:minor"
  std::string root;    // the directory of the file system that is mounted here
  std::string mountPoint;
  std::string type;
  std::string source;
};

std::vector<MountEntry> ParseMountInfo(std::string_view text);
std::vector<MountEntry> ReadMountTable();

// C is "/"; D, E, ... are the other block-device file systems in mount order, each device once, each
// at the first directory it is mounted on.
DriveTable DefaultDrives(const std::vector<MountEntry>& mounts);

// The entry whose mount point holds the absolute, symlink-free path: the longest such mount point, the
// later one where a mount covers another.
const MountEntry* MountHolding(const std::vector<MountEntry>& mounts, std::string_view path);

// A core path split into its drive letter (upper case; none for "\home\u" or a relative path) and the
// rest after "X:".
struct CorePathParts {
  std::optional<char> drive;
  std::string_view rest;
};
CorePathParts SplitDrive(std::string_view corePath);


// Converts a GB18030 path text with "\" separators to UTF-8 with "/" separators.
std::string NativeText(std::string_view coreText);

// A native name as the core sees it; nothing for a name that is no UTF-8, or that holds a "\", since
// the core could never name it again.
std::optional<std::string> CoreName(std::string_view nativeName);

// An absolute native path as a drive-less core path ("/home/u" gives "\home\u"); nothing when a name
// in it has no core form.
std::optional<std::string> DrivelessCorePath(std::string_view nativePath);

// The key of the order in which Windows lists the names of a directory (NTFS, and Wine alike): the
// UTF-16 code units, letters as capitals. Only ASCII letters are folded here; other cased letters keep
// their own order. For a UTF-8 name; a malformed byte stands for itself.
std::u16string ListingKey(std::string_view utf8);

// Equal but for the case of ASCII letters; on UTF-8 names, so no byte of a multibyte character folds.
bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b);

}  // namespace korvane::posix
