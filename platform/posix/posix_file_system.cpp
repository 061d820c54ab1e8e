// The Linux file-system services.
//
//   Drives and paths    the drive table, core paths to native ones
//   Volumes and system  statvfs, the mount table, uname
//   Directory walk      listings from the disk or from a scan's memory, file and folder sizes
//   Files               program directory, whole files, names matched without regard to case
//   Shell and processes xdg-open, /proc, flock
//   Clock and locale
#include "platform/posix/posix_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <langinfo.h>
#include <limits.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <system_error>
#include <thread>

#include "platform/file_io.h"
#include "platform/posix/posix_paths.h"
#include "platform/text_encoding.h"
#include "snapshot/value_format.h"

extern char** environ;

namespace korvane {
namespace {

// ---- Drives and paths

std::string WorkingDirectory() {
  char buffer[PATH_MAX];
  return getcwd(buffer, sizeof buffer) ? buffer : "/";
}

std::string WithoutFinalSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// The key under which a scan remembers a directory: its core path with the drive letter in upper case
// and without a final "\" ("C:\" is "C:").
std::string ScanKey(std::string_view corePath) {
  const posix::CorePathParts parts = posix::SplitDrive(corePath);
  std::string key = parts.drive ? std::string{*parts.drive, ':'} : std::string();
  std::string_view rest = parts.rest;
  if (!rest.empty() && LastPathSeparator(rest) == rest.size() - 1) rest.remove_suffix(1);
  key.append(rest);
  return key;
}

// A native path as the core writes it; a name without a core form keeps its bytes, as nothing better exists.
std::string CoreFormOf(const std::string& native) {
  if (std::optional<std::string> core = posix::DrivelessCorePath(native)) return std::move(*core);
  std::string bytes = WithoutFinalSlashes(native);
  std::replace(bytes.begin(), bytes.end(), '/', '\\');
  return bytes;
}

std::optional<std::string> ExecutablePath() {
  char buffer[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
  if (length <= 0 || length >= static_cast<ssize_t>(sizeof buffer)) return std::nullopt;
  return std::string(buffer, static_cast<size_t>(length));
}

// ---- Directory walk

bool IsDotOrDotDot(const char* name) { return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)); }

// The names of one directory that match the wildcard, in the order Windows lists them, so that a tree
// gives the same snapshot on both systems (the file system's own order is a hash on most). Entries
// on another device than that of deviceOf (mount points) are left out in both kinds, and a symbolic
// link is a file, whatever it points to.
std::vector<std::string> ListDirectory(const std::string& native, const std::optional<std::string>& deviceOf,
                                       std::string_view wildcard, EntryKind kind) {
  std::vector<std::string> names;
  if (native.size() >= PATH_MAX) return names;
  const int fd = open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return names;
  DIR* directory = fdopendir(fd);
  struct stat home {};
  const bool homeKnown = deviceOf ? stat(deviceOf->c_str(), &home) == 0 : fstat(fd, &home) == 0;
  if (!directory || !homeKnown) {
    directory ? closedir(directory) : close(fd);
    return names;
  }
  const bool directories = kind == EntryKind::directories;
  if (directories) {
    for (const char* dots : {".", ".."}) {
      if (MatchesSearchPattern(wildcard, dots)) names.emplace_back(dots);
    }
  }
  std::vector<std::pair<std::u16string, std::string>> found;  // the listing's order and the core name
  while (const dirent* entry = readdir(directory)) {
    if (IsDotOrDotDot(entry->d_name)) continue;
    if (entry->d_type != DT_UNKNOWN && (entry->d_type == DT_DIR) != directories) continue;
    struct stat status {};
    if (fstatat(fd, entry->d_name, &status, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT) != 0) continue;
    if (S_ISDIR(status.st_mode) != directories || status.st_dev != home.st_dev) continue;
    std::optional<std::string> name = posix::CoreName(entry->d_name);
    if (name && MatchesSearchPattern(wildcard, *name)) {
      found.emplace_back(posix::ListingKey(entry->d_name), std::move(*name));
    }
  }
  closedir(directory);
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto& entry : found) names.push_back(std::move(entry.second));
  return names;
}

// ---- Shell and processes

// Hands the target to the desktop's opener and returns at once; a thread of its own reaps the child.
void OpenWithDesktop(std::string target) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  char program[] = "xdg-open";
  char* arguments[] = {program, target.data(), nullptr};
  pid_t child = 0;
  const int failed = posix_spawnp(&child, program, &actions, &attributes, arguments, environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (failed) return;
  try {
    std::thread([child] { waitpid(child, nullptr, 0); }).detach();
  } catch (const std::system_error&) {
    // Unreaped, the child stays a zombie until the program ends; nothing worse.
  }
}

std::string LockFileName(std::string_view name) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::string path = runtime && *runtime ? runtime : "/tmp";
  path += "/korvane-";
  constexpr char kHex[] = "0123456789abcdef";
  for (const char byte : name) {
    path.push_back(kHex[static_cast<unsigned char>(byte) >> 4]);
    path.push_back(kHex[static_cast<unsigned char>(byte) & 15]);
  }
  return path + ".lock";
}

}  // namespace

PosixFileSystemOptions OptionsFromEnvironment() {
  PosixFileSystemOptions options;
  if (const char* drives = std::getenv("KORVANE_DRIVES"); drives && *drives) options.driveMap = drives;
  if (const char* home = std::getenv("KORVANE_HOME"); home && *home) options.home = home;
  return options;
}

PosixFileSystem::PosixFileSystem(PosixFileSystemOptions options) : folderSizes_(options.measuringThreads) {
  const std::string workingDirectory = WorkingDirectory();
  drives_ = options.driveMap ? posix::ParseDriveMap(*options.driveMap, workingDirectory)
                             : posix::DefaultDrives(posix::ReadMountTable());
  if (options.home) {
    home_ = options.home->starts_with('/') ? *options.home : workingDirectory + "/" + *options.home;
    home_ = WithoutFinalSlashes(home_);
  }
}

PosixFileSystem::~PosixFileSystem() {
  for (const int fd : heldLocks_) close(fd);
}

std::optional<PosixFileSystem::Place> PosixFileSystem::Locate(std::string_view corePath) const {
  const posix::CorePathParts parts = posix::SplitDrive(corePath);
  if (!parts.drive) return Place{posix::NativeText(corePath), std::nullopt};
  const auto drive = drives_.find(*parts.drive);
  if (drive == drives_.end()) return std::nullopt;
  std::string native = drive->second == "/" ? std::string() : drive->second;
  const std::string rest = posix::NativeText(parts.rest);
  if (!rest.starts_with('/')) native.push_back('/');
  native += rest;
  return Place{std::move(native), drive->second};
}

std::optional<std::string> PosixFileSystem::NativePath(std::string_view corePath) const {
  std::optional<Place> place = Locate(corePath);
  if (!place) return std::nullopt;
  return std::move(place->native);
}

// ---- Volumes and system

std::vector<std::string> PosixFileSystem::LogicalDriveRoots() {
  std::vector<std::string> roots;
  for (const auto& [letter, directory] : drives_) roots.push_back(std::string{letter, ':', '\\'});
  return roots;
}

DiskSpace PosixFileSystem::DiskFreeSpace(std::string_view root) {
  const std::optional<Place> place = Locate(root);
  struct statvfs volume {};
  if (!place || statvfs(place->native.c_str(), &volume) != 0) return {};
  return {static_cast<int64_t>(volume.f_blocks * volume.f_frsize), static_cast<int64_t>(volume.f_bavail * volume.f_frsize)};
}

std::optional<std::string> PosixFileSystem::FileSystemName(std::string_view root) {
  const std::optional<Place> place = Locate(root);
  if (!place) return std::nullopt;
  char* real = realpath(place->native.c_str(), nullptr);
  if (!real) return std::nullopt;
  const std::string path = real;
  std::free(real);
  const std::vector<posix::MountEntry> mounts = posix::ReadMountTable();
  const posix::MountEntry* mount = posix::MountHolding(mounts, path);
  if (!mount) return std::nullopt;
  return mount->type;
}

std::string PosixFileSystem::SystemDirectory() {
  char letter = 'C';
  for (const auto& [driveLetter, directory] : drives_) {
    if (directory == "/") {
      letter = driveLetter;
      break;
    }
  }
  return std::string{letter} + ":\\Windows\\system32";
}

VersionNumbers PosixFileSystem::NtVersionNumbers() {
  struct utsname names {};
  if (uname(&names) != 0) return {};
  uint32_t numbers[3] = {};
  const char* at = names.release;
  for (uint32_t& number : numbers) {
    char* end = nullptr;
    number = static_cast<uint32_t>(std::strtoul(at, &end, 10));
    if (end == at || *end != '.') break;
    at = end + 1;
  }
  return {numbers[0], numbers[1], numbers[2]};
}

// ---- Directory walk

std::unique_ptr<DirectoryListing> PosixFileSystem::FindEntries(std::string_view pattern, EntryKind kind) {
  std::string_view directory;
  std::string_view wildcard = pattern;
  if (const size_t separator = LastPathSeparator(pattern); separator != std::string_view::npos) {
    directory = pattern.substr(0, separator + 1);
    wildcard = pattern.substr(separator + 1);
  } else if (posix::SplitDrive(pattern).drive) {
    directory = pattern.substr(0, 2);
    wildcard = pattern.substr(2);
  }
  if (kind == EntryKind::directories) {
    if (auto remembered = folderSizes_.RememberedDirectories(ScanKey(directory), wildcard)) {
      return std::make_unique<NameListing>(std::move(*remembered));
    }
  }
  const std::optional<Place> place = Locate(directory);
  if (!place) return std::make_unique<NameListing>(std::vector<std::string>{});
  return std::make_unique<NameListing>(ListDirectory(place->native.empty() ? "." : place->native, place->driveDirectory, wildcard, kind));
}

int64_t PosixFileSystem::FileSize(std::string_view path) {
  const std::optional<Place> place = Locate(path);
  struct stat status {};
  if (!place || lstat(place->native.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return 0;
  return status.st_size;
}

int64_t PosixFileSystem::FolderSize(std::string_view path) {
  const std::optional<Place> place = Locate(path);
  if (!place) return 0;
  const std::string native = WithoutFinalSlashes(place->native.empty() ? "." : place->native);
  return folderSizes_.Measure(ScanKey(path), native, place->driveDirectory.value_or(native));
}

void PosixFileSystem::BeginScan() { folderSizes_.BeginScan(); }

void PosixFileSystem::EndScan() { folderSizes_.EndScan(); }

// ---- Files

std::string PosixFileSystem::ProgramDirectory() {
  if (!home_.empty()) return CoreFormOf(home_);
  const std::optional<std::string> executable = ExecutablePath();
  if (!executable) return CoreFormOf(WorkingDirectory());
  return CoreFormOf(executable->substr(0, std::max<size_t>(executable->rfind('/'), 1)));
}

std::string PosixFileSystem::ExecutableName() {
  const std::optional<std::string> executable = ExecutablePath();
  if (!executable) return {};
  const std::string name = executable->substr(executable->rfind('/') + 1);
  return posix::CoreName(name).value_or(name);
}

std::optional<std::string> PosixFileSystem::ExistingFile(std::string_view corePath) const {
  const std::optional<Place> place = Locate(corePath);
  if (!place || place->native.empty()) return std::nullopt;
  struct stat status {};
  if (stat(place->native.c_str(), &status) == 0) return place->native;
  if (errno != ENOENT) return std::nullopt;
  // The program asks for "name.C" where it wrote "name.c", as a case-blind file system allows.
  const size_t slash = place->native.rfind('/');
  const std::string parent = slash == std::string::npos ? "." : place->native.substr(0, std::max<size_t>(slash, 1));
  const std::string_view wanted = slash == std::string::npos ? std::string_view(place->native)
                                                             : std::string_view(place->native).substr(slash + 1);
  if (wanted.empty()) return std::nullopt;
  DIR* directory = opendir(parent.c_str());
  if (!directory) return std::nullopt;
  std::optional<std::string> found;
  while (const dirent* entry = readdir(directory)) {
    if (posix::EqualIgnoringAsciiCase(entry->d_name, wanted)) {
      found = (parent == "/" ? "" : parent) + "/" + entry->d_name;
      break;
    }
  }
  closedir(directory);
  return found;
}

bool PosixFileSystem::FileExists(std::string_view path) { return ExistingFile(path).has_value(); }

Bytes PosixFileSystem::ReadWholeFile(std::string_view path) {
  const std::optional<std::string> native = ExistingFile(path);
  if (!native) return {};
  return korvane::ReadWholeFile(*native).value_or(Bytes());
}

bool PosixFileSystem::WriteWholeFile(std::string_view path, std::string_view contents) {
  const std::optional<Place> place = Locate(path);
  return place && WriteWholeFileReplacing(place->native, Bytes(contents)).ok;
}

// ---- Shell and processes

void PosixFileSystem::ShellExplore(std::string_view folder) {
  if (std::optional<Place> place = Locate(folder)) OpenWithDesktop(std::move(place->native));
}

void PosixFileSystem::ShellOpen(std::string_view address) {
  // A web address goes as it is; a path in core form is opened as the file it names.
  if (!posix::SplitDrive(address).drive && !address.starts_with('\\')) {
    OpenWithDesktop(Gb18030ToUtf8(address).text);
  } else if (std::optional<Place> place = Locate(address)) {
    OpenWithDesktop(std::move(place->native));
  }
}

std::vector<std::string> PosixFileSystem::ProcessNames() {
  std::vector<std::string> names;
  DIR* processes = opendir("/proc");
  if (!processes) return names;
  while (const dirent* entry = readdir(processes)) {
    if (entry->d_name[0] < '1' || entry->d_name[0] > '9') continue;
    char target[PATH_MAX];
    const std::string link = std::string("/proc/") + entry->d_name + "/exe";
    const ssize_t length = readlink(link.c_str(), target, sizeof target);
    if (length <= 0 || length >= static_cast<ssize_t>(sizeof target)) continue;  // kernel threads, other users
    std::string_view path(target, static_cast<size_t>(length));
    if (path.ends_with(" (deleted)")) path.remove_suffix(10);
    if (std::optional<std::string> name = posix::CoreName(path.substr(path.rfind('/') + 1))) names.push_back(std::move(*name));
  }
  closedir(processes);
  return names;
}

bool PosixFileSystem::NamedMutexExists(std::string_view name) {
  const std::string path = LockFileName(name);
  const int fd = open(path.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
  // Without a lock file there is no way to know of another copy; this one runs.
  if (fd < 0) return false;
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
    std::lock_guard lock(locksMutex_);
    heldLocks_.push_back(fd);  // held until this object ends, and released by the kernel with the process
    return false;
  }
  const bool heldElsewhere = errno == EWOULDBLOCK;
  close(fd);
  return heldElsewhere;
}

// ---- Clock and locale

double PosixFileSystem::LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local {};
  localtime_r(&now, &local);
  return AutomationDate({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec});
}

bool PosixFileSystem::Uses24HourClock() {
  const std::string_view timeFormat = nl_langinfo(T_FMT);
  return timeFormat.find("%I") == std::string_view::npos && timeFormat.find("%l") == std::string_view::npos &&
         timeFormat.find("%r") == std::string_view::npos;
}

}  // namespace korvane
