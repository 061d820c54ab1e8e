// Real directory trees for the Linux services' tests: a temporary folder mapped to drive T, files of given
// sizes, names in UTF-8 on the disk and in GBK as the core writes them, and mounts made by the test.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/posix/posix_file_system.h"

namespace korvane::testing {

// Source files are compiled to GBK, so a plain literal such as "乗" is GBK; u8 literals stay UTF-8.
inline std::string Utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

// A folder below the temporary directory, removed with everything in it.
class TempTree {
 public:
  TempTree() {
    std::string pattern = (std::filesystem::temp_directory_path() / "korvane-posix-XXXXXX").string();
    root_ = mkdtemp(pattern.data());
  }
  ~TempTree() {
    for (auto mount = mounts_.rbegin(); mount != mounts_.rend(); ++mount) umount2(mount->c_str(), MNT_DETACH);
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  const std::string& root() const { return root_; }
  std::string operator/(const std::string& relative) const { return root_ + "/" + relative; }

  void Directory(const std::string& relative) const { std::filesystem::create_directories(*this / relative); }

  // A file of size bytes (made of "x"), its directories created on the way.
  void File(const std::string& relative, size_t size) const {
    const std::filesystem::path path = *this / relative;
    std::filesystem::create_directories(path.parent_path());
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const std::string contents(size, 'x');
    if (fd >= 0 && write(fd, contents.data(), contents.size()) == static_cast<ssize_t>(contents.size())) close(fd);
  }

  // Mounts and remembers the mount for the teardown; false where this process may not mount.
  bool Mount(const std::string& source, const std::string& relative, const char* type, unsigned long flags,
             const char* data = nullptr) {
    const std::string target = *this / relative;
    if (mount(source.c_str(), target.c_str(), type, flags, data) != 0) return false;
    mounts_.push_back(target);
    return true;
  }

  // The services with T mapped to this folder.
  std::unique_ptr<PosixFileSystem> Services(unsigned threads = 0) const {
    PosixFileSystemOptions options;
    options.driveMap = "T=" + root_;
    options.measuringThreads = threads;
    return std::make_unique<PosixFileSystem>(options);
  }

 private:
  std::string root_;
  std::vector<std::string> mounts_;
};

// The names of a native directory as readdir gives them, "." and ".." left out.
inline std::vector<std::string> ReaddirOrder(const std::string& native) {
  std::vector<std::string> names;
  if (DIR* directory = opendir(native.c_str())) {
    while (const dirent* entry = readdir(directory)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(directory);
  }
  return names;
}

// Every name a listing gives, in order.
inline std::vector<std::string> Names(FileSystemServices& services, const std::string& pattern, EntryKind kind) {
  std::vector<std::string> names;
  const auto listing = services.FindEntries(pattern, kind);
  for (std::string name = listing->next(); !name.empty(); name = listing->next()) names.push_back(name);
  return names;
}

}  // namespace korvane::testing
