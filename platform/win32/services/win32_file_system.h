// The Windows file-system services: W functions behind GB18030 conversions, FindFirstFileExW listings
// bounded by the system's path limit, measured folder sizes, the tool-help process list, the named mutex.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"
#include "platform/win32/services/folder_sizes.h"

namespace korvane {

struct Win32FileSystemOptions {
  // The threads that measure one folder, the caller's included; 0 means one per hardware thread.
  unsigned measuringThreads = 0;
  // The program directory (GB18030, relative to the current directory or full), in place of the
  // executable's own.
  std::optional<std::string> home = std::nullopt;
};

class Win32FileSystem final : public FileSystemServices {
 public:
  explicit Win32FileSystem(Win32FileSystemOptions options = {});
  ~Win32FileSystem() override;
  Win32FileSystem(const Win32FileSystem&) = delete;
  Win32FileSystem& operator=(const Win32FileSystem&) = delete;

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

 private:
  win32::FolderSizes folderSizes_;
  std::string home_;  // full, without a final "\"; empty: the executable's directory
  std::mutex mutexesGuard_;
  std::vector<void*> heldMutexes_;  // the handles of the named mutexes this object created
};

}  // namespace korvane
