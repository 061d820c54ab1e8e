// A machine in memory for tests: drives with directory trees and file sizes in a chosen listing order,
// and the faults a real disk shows (unreadable, vanishing and unsizable directories, failing writes),
// plus the processes, mutexes and clock that start-up and the snapshot writer ask for.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <set>

#include "platform/file_system.h"

namespace korvane {

// What several program copies on one machine share: the running processes and the held mutexes.
struct MemoryMachine {
  std::mutex mutex;
  std::vector<std::string> processNames;
  std::set<std::string> heldMutexes;
};

class MemoryFileSystem final : public FileSystemServices {
 public:
  // The copy counts as one running process of its executable name on the machine until it is destroyed.
  explicit MemoryFileSystem(std::shared_ptr<MemoryMachine> machine = std::make_shared<MemoryMachine>());
  ~MemoryFileSystem() override;
  MemoryFileSystem(const MemoryFileSystem&) = delete;
  MemoryFileSystem& operator=(const MemoryFileSystem&) = delete;

  // Building the machine. Paths are "C:\A\B\" for directories and "C:\A\f.txt" for files; missing
  // parents are made; children list in the order they were added.
  void AddDrive(char letter, DiskSpace space, std::string fileSystemName = "NTFS");
  void AddDirectory(std::string_view path);
  void AddFile(std::string_view path, int64_t size);
  // Listing it gives no names; its size cannot be had.
  void MakeUnreadable(std::string_view directory);
  // Its parent lists it, but it is gone when it is measured or listed itself.
  void MakeVanishing(std::string_view directory);
  // The folder-size query fails for it (gives 0), so the caller counts its files.
  void MakeUnsizable(std::string_view directory);
  void SetSystemDirectory(std::string directory) { systemDirectory_ = std::move(directory); }
  void SetVersion(VersionNumbers version) { version_ = version; }
  void SetProgramDirectory(std::string directory) { programDirectory_ = std::move(directory); }
  void SetExecutableName(std::string name);
  void SetClock(double now, bool twentyFourHour) { now_ = now, twentyFourHour_ = twentyFourHour; }
  void FailWrites(bool fail) { failWrites_ = fail; }

  // Looking at it afterwards.
  // The stored files (written or added with PutFile) by path; names match without regard to letter case.
  std::map<std::string, Bytes> StoredFiles() const;
  void PutFile(std::string_view path, Bytes contents);
  int FolderSizeQueries(std::string_view directory) const;

  // FileSystemServices.
  std::vector<std::string> LogicalDriveRoots() override;
  DiskSpace DiskFreeSpace(std::string_view root) override;
  std::optional<std::string> FileSystemName(std::string_view root) override;
  std::string SystemDirectory() override { return systemDirectory_; }
  VersionNumbers NtVersionNumbers() override { return version_; }
  std::unique_ptr<DirectoryListing> FindEntries(std::string_view pattern, EntryKind kind) override;
  int64_t FileSize(std::string_view path) override;
  int64_t FolderSize(std::string_view path) override;
  std::string ProgramDirectory() override { return programDirectory_; }
  std::string ExecutableName() override { return executableName_; }
  bool FileExists(std::string_view path) override;
  Bytes ReadWholeFile(std::string_view path) override;
  bool WriteWholeFile(std::string_view path, std::string_view contents) override;
  void ShellExplore(std::string_view folder) override;
  void ShellOpen(std::string_view address) override;
  std::vector<std::string> ProcessNames() override;
  bool NamedMutexExists(std::string_view name) override;
  double LocalNow() override { return now_; }
  bool Uses24HourClock() override { return twentyFourHour_; }

  // What the shell was asked to open.
  std::vector<std::string> shellRequests;

 private:
  struct Directory {
    std::vector<std::string> subdirectories;  // names, in listing order
    std::vector<std::pair<std::string, int64_t>> files;
    bool unreadable = false;
    bool vanishing = false;
    bool unsizable = false;
  };
  struct Drive {
    DiskSpace space;
    std::string fileSystemName;
  };

  // A whole file by its path, letter case aside as in Windows names.
  std::map<std::string, Bytes>::iterator FindFile(std::string_view path);
  // The directory at a path ("C:\A" or "C:\A\"), null when there is none or it has vanished.
  Directory* Find(std::string_view path);
  Directory& Make(std::string_view path);
  int64_t TotalBelow(const std::string& key);

  mutable std::mutex mutex_;
  std::shared_ptr<MemoryMachine> machine_;
  std::map<char, Drive> drives_;
  std::vector<char> driveOrder_;
  std::map<std::string, Directory> directories_;  // by path with a final "\"
  std::map<std::string, Bytes> files_;            // whole files by path
  std::map<std::string, int> folderSizeQueries_;
  std::string systemDirectory_ = "C:\\Windows\\system32";
  VersionNumbers version_{10, 0, 19044};
  std::string programDirectory_ = "C:\\Korvane";
  std::string executableName_ = "korvane.exe";
  double now_ = 44525.646666666667;  // 25 November 2021, 15:31:12
  bool twentyFourHour_ = true;
  bool failWrites_ = false;
  std::set<std::string> heldMutexes_;
};

}  // namespace korvane
