// A machine in memory for tests.
#include "platform/memory/memory_file_system.h"

#include <algorithm>

namespace korvane {
namespace {

std::string WithSeparator(std::string_view path) {
  std::string directory(path);
  if (!directory.ends_with('\\')) directory += '\\';
  return directory;
}

// "C:\A\B\" gives "C:\A\" and "B"; "C:\A\f.txt" gives "C:\A\" and "f.txt".
std::pair<std::string, std::string> SplitLast(std::string_view path) {
  std::string_view trimmed = path;
  if (trimmed.ends_with('\\')) trimmed.remove_suffix(1);
  const size_t separator = LastPathSeparator(trimmed);
  if (separator == std::string_view::npos) return {std::string(trimmed) + "\\", ""};
  return {std::string(trimmed.substr(0, separator + 1)), std::string(trimmed.substr(separator + 1))};
}

}  // namespace

MemoryFileSystem::MemoryFileSystem(std::shared_ptr<MemoryMachine> machine) : machine_(std::move(machine)) {
  const std::lock_guard lock(machine_->mutex);
  machine_->processNames.push_back(executableName_);
}

MemoryFileSystem::~MemoryFileSystem() {
  const std::lock_guard lock(machine_->mutex);
  auto& names = machine_->processNames;
  if (const auto own = std::find(names.begin(), names.end(), executableName_); own != names.end()) names.erase(own);
  for (const std::string& name : heldMutexes_) machine_->heldMutexes.erase(name);
}

void MemoryFileSystem::SetExecutableName(std::string name) {
  const std::lock_guard lock(machine_->mutex);
  auto& names = machine_->processNames;
  if (const auto own = std::find(names.begin(), names.end(), executableName_); own != names.end()) *own = name;
  executableName_ = std::move(name);
}

void MemoryFileSystem::AddDrive(char letter, DiskSpace space, std::string fileSystemName) {
  const std::lock_guard lock(mutex_);
  if (!drives_.contains(letter)) driveOrder_.push_back(letter);
  drives_[letter] = {space, std::move(fileSystemName)};
  directories_.try_emplace(std::string(1, letter) + ":\\");
}

MemoryFileSystem::Directory& MemoryFileSystem::Make(std::string_view path) {
  const std::string key = WithSeparator(path);
  if (const auto found = directories_.find(key); found != directories_.end()) return found->second;
  const auto [parent, name] = SplitLast(key);
  if (!name.empty()) Make(parent).subdirectories.push_back(name);
  return directories_[key];
}

void MemoryFileSystem::AddDirectory(std::string_view path) {
  const std::lock_guard lock(mutex_);
  Make(path);
}

void MemoryFileSystem::AddFile(std::string_view path, int64_t size) {
  const std::lock_guard lock(mutex_);
  const auto [parent, name] = SplitLast(path);
  Make(parent).files.emplace_back(name, size);
}

void MemoryFileSystem::MakeUnreadable(std::string_view directory) {
  const std::lock_guard lock(mutex_);
  Make(directory).unreadable = true;
}

void MemoryFileSystem::MakeVanishing(std::string_view directory) {
  const std::lock_guard lock(mutex_);
  Make(directory).vanishing = true;
}

void MemoryFileSystem::MakeUnsizable(std::string_view directory) {
  const std::lock_guard lock(mutex_);
  Make(directory).unsizable = true;
}

std::map<std::string, Bytes> MemoryFileSystem::StoredFiles() const {
  const std::lock_guard lock(mutex_);
  return files_;
}

void MemoryFileSystem::PutFile(std::string_view path, Bytes contents) {
  const std::lock_guard lock(mutex_);
  files_[std::string(path)] = std::move(contents);
}

int MemoryFileSystem::FolderSizeQueries(std::string_view directory) const {
  const std::lock_guard lock(mutex_);
  const auto found = folderSizeQueries_.find(WithSeparator(directory));
  return found == folderSizeQueries_.end() ? 0 : found->second;
}

MemoryFileSystem::Directory* MemoryFileSystem::Find(std::string_view path) {
  const auto found = directories_.find(WithSeparator(path));
  if (found == directories_.end() || found->second.vanishing) return nullptr;
  return &found->second;
}

std::vector<std::string> MemoryFileSystem::LogicalDriveRoots() {
  const std::lock_guard lock(mutex_);
  std::vector<std::string> roots;
  for (const char letter : driveOrder_) roots.push_back(std::string(1, letter) + ":\\");
  return roots;
}

DiskSpace MemoryFileSystem::DiskFreeSpace(std::string_view root) {
  const std::lock_guard lock(mutex_);
  const auto found = root.empty() ? drives_.end() : drives_.find(root[0]);
  return found == drives_.end() ? DiskSpace{} : found->second.space;
}

std::optional<std::string> MemoryFileSystem::FileSystemName(std::string_view root) {
  const std::lock_guard lock(mutex_);
  const auto found = root.empty() ? drives_.end() : drives_.find(root[0]);
  if (found == drives_.end()) return std::nullopt;
  return found->second.fileSystemName;
}

std::unique_ptr<DirectoryListing> MemoryFileSystem::FindEntries(std::string_view pattern, EntryKind kind) {
  const std::lock_guard lock(mutex_);
  const auto [parent, wildcard] = SplitLast(pattern);
  std::vector<std::string> names;
  // Whole files (the program directory's) may lie in a directory that the drive trees do not hold.
  const Directory* directory = Find(parent);
  if (directory && directory->unreadable) return std::make_unique<NameListing>(names);
  if (kind == EntryKind::directories) {
    if (!directory) return std::make_unique<NameListing>(names);
    names = {".", ".."};
    for (const std::string& name : directory->subdirectories) {
      if (MatchesSearchPattern(wildcard, name)) names.push_back(name);
    }
    return std::make_unique<NameListing>(names);
  }
  if (directory) {
    for (const auto& [name, size] : directory->files) {
      if (MatchesSearchPattern(wildcard, name)) names.push_back(name);
    }
  }
  for (const auto& [path, contents] : files_) {
    const auto [fileParent, name] = SplitLast(path);
    if (fileParent == parent && MatchesSearchPattern(wildcard, name)) names.push_back(name);
  }
  return std::make_unique<NameListing>(names);
}

int64_t MemoryFileSystem::FileSize(std::string_view path) {
  const std::lock_guard lock(mutex_);
  if (const auto whole = files_.find(std::string(path)); whole != files_.end()) return static_cast<int64_t>(whole->second.size());
  const auto [parent, name] = SplitLast(path);
  const Directory* directory = Find(parent);
  if (!directory) return 0;
  for (const auto& [fileName, size] : directory->files) {
    if (fileName == name) return size;
  }
  return 0;
}

int64_t MemoryFileSystem::TotalBelow(const std::string& key) {
  const Directory* directory = Find(key);
  if (!directory || directory->unreadable) return 0;
  int64_t total = 0;
  for (const auto& file : directory->files) total += file.second;
  for (const std::string& name : directory->subdirectories) total += TotalBelow(key + name + "\\");
  return total;
}

int64_t MemoryFileSystem::FolderSize(std::string_view path) {
  const std::lock_guard lock(mutex_);
  const std::string key = WithSeparator(path);
  ++folderSizeQueries_[key];
  const Directory* directory = Find(key);
  if (!directory || directory->unsizable) return 0;
  return TotalBelow(key);
}

std::map<std::string, Bytes>::iterator MemoryFileSystem::FindFile(std::string_view path) {
  const std::string lowered = AsciiLower(path);
  for (auto file = files_.begin(); file != files_.end(); ++file) {
    if (AsciiLower(file->first) == lowered) return file;
  }
  return files_.end();
}

bool MemoryFileSystem::FileExists(std::string_view path) {
  const std::lock_guard lock(mutex_);
  return FindFile(path) != files_.end();
}

Bytes MemoryFileSystem::ReadWholeFile(std::string_view path) {
  const std::lock_guard lock(mutex_);
  const auto found = FindFile(path);
  return found == files_.end() ? Bytes() : found->second;
}

bool MemoryFileSystem::WriteWholeFile(std::string_view path, std::string_view contents) {
  const std::lock_guard lock(mutex_);
  if (failWrites_) return false;
  if (const auto found = FindFile(path); found != files_.end()) {
    found->second = Bytes(contents);
  } else {
    files_[std::string(path)] = Bytes(contents);
  }
  return true;
}

void MemoryFileSystem::ShellExplore(std::string_view folder) {
  const std::lock_guard lock(mutex_);
  shellRequests.push_back("explore " + std::string(folder));
}

void MemoryFileSystem::ShellOpen(std::string_view address) {
  const std::lock_guard lock(mutex_);
  shellRequests.push_back("open " + std::string(address));
}

std::vector<std::string> MemoryFileSystem::ProcessNames() {
  const std::lock_guard lock(machine_->mutex);
  return machine_->processNames;
}

bool MemoryFileSystem::NamedMutexExists(std::string_view name) {
  const std::lock_guard lock(machine_->mutex);
  if (!machine_->heldMutexes.insert(std::string(name)).second) return true;
  heldMutexes_.insert(std::string(name));
  return false;
}

}  // namespace korvane
