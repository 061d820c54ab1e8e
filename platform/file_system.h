// What the core asks of the operating system: drives and volumes, directory listings, file sizes, whole
// files, the program directory, shell, processes, the named mutex and the clock. Paths are GBK texts
// with "\" separators; every platform converts them at its own edge.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "snapshot/gbk_text.h"

namespace korvane {

enum class EntryKind {
  directories,  // entries with the directory attribute, "." and ".." included
  files,        // entries without it
};

// One open search; releasing it closes the search.
class DirectoryListing {
 public:
  virtual ~DirectoryListing() = default;
  // The next bare name, or the empty text at the end.
  virtual std::string next() = 0;
};

// A listing of names already in hand.
class NameListing final : public DirectoryListing {
 public:
  explicit NameListing(std::vector<std::string> names) : names_(std::move(names)) {}
  std::string next() override { return next_ < names_.size() ? std::move(names_[next_++]) : std::string(); }

 private:
  std::vector<std::string> names_;
  size_t next_ = 0;
};

struct DiskSpace {
  int64_t totalBytes = 0;
  int64_t freeToCaller = 0;
};

struct VersionNumbers {
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t build = 0;  // may carry flag bits above its low 16 bits
};

class FileSystemServices {
 public:
  virtual ~FileSystemServices() = default;

  // Volumes and system.
  // The drive roots ("C:\") in the system's order, whatever their type.
  virtual std::vector<std::string> LogicalDriveRoots() = 0;
  // Total bytes and bytes free to the caller of the volume at root ("C:\" or "C:"); zeros on failure.
  virtual DiskSpace DiskFreeSpace(std::string_view root) = 0;
  // The file-system name of the volume at root ("C:\"), nothing on failure.
  virtual std::optional<std::string> FileSystemName(std::string_view root) = 0;
  // The system directory ("C:\Windows\system32"); callers use its first character.
  virtual std::string SystemDirectory() = 0;
  virtual VersionNumbers NtVersionNumbers() = 0;

  // Directory walk.
  // Lists the entries of kind that match the pattern's last component ("C:\Windows\*.*").
  virtual std::unique_ptr<DirectoryListing> FindEntries(std::string_view pattern, EntryKind kind) = 0;
  // A file's 64-bit size; 0 when it cannot be had.
  virtual int64_t FileSize(std::string_view path) = 0;
  // The total size of everything below a folder; 0 means unavailable (the caller then counts itself).
  virtual int64_t FolderSize(std::string_view path) = 0;
  // Bracket one scan: between them a platform may remember what it measured and answer later size
  // queries and directory listings of the same directories from that memory.
  virtual void BeginScan() {}
  virtual void EndScan() {}

  // Files.
  // The program's directory, without a final "\".
  virtual std::string ProgramDirectory() = 0;
  // The program file's bare name.
  virtual std::string ExecutableName() = 0;
  virtual bool FileExists(std::string_view path) = 0;
  // All bytes of a file; empty on failure.
  virtual Bytes ReadWholeFile(std::string_view path) = 0;
  // Creates or replaces the file whole: on failure an earlier file of that name is left as it was.
  virtual bool WriteWholeFile(std::string_view path, std::string_view contents) = 0;

  // Shell and processes.
  virtual void ShellExplore(std::string_view folder) = 0;
  virtual void ShellOpen(std::string_view address) = 0;
  // The bare executable names of all running processes, this one included.
  virtual std::vector<std::string> ProcessNames() = 0;
  // Opens the named mutex, or creates it and holds it for the life of the process. True when it
  // existed already (another copy holds it), false when this call created it.
  virtual bool NamedMutexExists(std::string_view name) = 0;

  // Clock and locale.
  // The local time as an automation date (days since 30 December 1899).
  virtual double LocalNow() = 0;
  virtual bool Uses24HourClock() = 0;
};

// Whether a bare name matches a search pattern's last component as the Windows listing functions
// match it: "*" any run, "?" any one character, ASCII letters without regard to case; "*.*" matches
// every name, also one without a dot.
bool MatchesSearchPattern(std::string_view pattern, std::string_view name);

}  // namespace korvane
