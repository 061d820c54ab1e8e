// The Linux file-system services: drive letters mapped to directories, GB18030 names, walks that stay
// on one file system, measured folder sizes, flock as the named mutex, /proc for processes.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"
#include "platform/posix/folder_sizes.h"

namespace korvane {

struct PosixFileSystemOptions {
  // "C=/;D=/srv/data": drive letters and the directories they stand for. Without it C is "/" and D,
  // E, ... are the other mounted block-device file systems in mount order.
  std::optional<std::string> driveMap;
  // The program directory, in place of the executable's own.
  std::optional<std::string> home;
  // The threads that measure one folder, the caller's included; 0 means one per hardware thread.
  unsigned measuringThreads = 0;
};

// KORVANE_DRIVES and KORVANE_HOME.
PosixFileSystemOptions OptionsFromEnvironment();

class PosixFileSystem final : public FileSystemServices {
 public:
  explicit PosixFileSystem(PosixFileSystemOptions options = {});
  ~PosixFileSystem() override;
  PosixFileSystem(const PosixFileSystem&) = delete;
  PosixFileSystem& operator=(const PosixFileSystem&) = delete;

  std::vector<std::string> LogicalDriveRoots() override;
  DiskSpace DiskFreeSpace(std::string_view root) override;
  std::optional<std::string> FileSystemName(std::string_view root) override;
  std::string SystemDirectory() override;
  VersionNumbers NtVersionNumbers() override;

  std::unique_ptr<DirectoryListing> FindEntries(std::string_view pattern, EntryKind kind) override;
  int64_t FileSize(std::string_view path) override;
  int64_t FolderSize(std::string_view path) override;
  void BeginScan() override;
  void EndScan() override;

  std::string ProgramDirectory() override;
  std::string ExecutableName() override;
  bool FileExists(std::string_view path) override;
  Bytes ReadWholeFile(std::string_view path) override;
  bool WriteWholeFile(std::string_view path, std::string_view contents) override;

  void ShellExplore(std::string_view folder) override;
  void ShellOpen(std::string_view address) override;
  std::vector<std::string> ProcessNames() override;
  bool NamedMutexExists(std::string_view name) override;

  double LocalNow() override;
  bool Uses24HourClock() override;

  // The native path that a core path names ("C:\usr\lib" gives "/usr/lib" when C is "/"; "\home\u"
  // gives "/home/u"); nothing for a drive that is not mapped.
  std::optional<std::string> NativePath(std::string_view corePath) const;

 private:
  // Where a core path leads: the native path, and the directory of its drive, whose device walks
  // stay on (a drive-less path has none; its walks stay on the device of the directory itself).
  struct Place {
    std::string native;
    std::optional<std::string> driveDirectory;
  };
  std::optional<Place> Locate(std::string_view corePath) const;
  // The native path of an existing file, the last name matched without regard to ASCII case when
  // the exact one does not exist.
  std::optional<std::string> ExistingFile(std::string_view corePath) const;

  std::map<char, std::string> drives_;
  std::string home_;  // native; empty: the executable's directory
  posix::FolderSizes folderSizes_;
  std::mutex locksMutex_;
  std::vector<int> heldLocks_;  // the named mutexes this object holds
};

}  // namespace korvane
