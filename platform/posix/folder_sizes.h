// Directory sizes on Linux: each subtree is walked once, in parallel, and during a scan every directory
// below is remembered with its total and its subdirectory names, so later size queries and listings of
// the same directories cost a lookup instead of another walk.
//
// What is remembered is directories only: a node of 32 bytes and the GBK name. Files are summed and
// forgotten. A walk stays on one device, and enters a directory that it reaches twice (a bind mount of
// one of its own directories) only the first time in depth-first listing order, whatever order the
// parallel workers happen to reach it in; the repeat counts as an empty directory.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::posix {

class FolderSizes {
 public:
  // threads: the walkers of one measurement, the calling thread included; 0 means one per hardware thread.
  explicit FolderSizes(unsigned threads = 0);
  ~FolderSizes();
  FolderSizes(const FolderSizes&) = delete;
  FolderSizes& operator=(const FolderSizes&) = delete;

  void BeginScan();
  void EndScan();

  // The total logical size of the regular files below the directory native, counting only what lies on
  // the device of the directory deviceOf (its drive's directory, or native itself); 0 when native is no
  // directory on that device. key is the directory's path in core form (without a final "\"), under
  // which a scan remembers it and everything below it.
  int64_t Measure(const std::string& key, const std::string& native, const std::string& deviceOf);

  // During a scan, the subdirectory names of a remembered directory that match the search pattern:
  // "." and ".." first, nothing when the walk could not open it. Nothing when it is not remembered.
  std::optional<std::vector<std::string>> RememberedDirectories(std::string_view key, std::string_view pattern);

 private:
  struct Memory;
  struct MountRoots;
  // The root directories of all mounts, read again only after the mount table has changed.
  const MountRoots& CurrentMountRoots();

  unsigned threads_;
  std::mutex mutex_;  // one measurement or lookup at a time
  std::unique_ptr<Memory> scan_;  // set between BeginScan and EndScan
  int mountTable_;  // /proc/self/mountinfo, open to be told of changes
  std::unique_ptr<MountRoots> mountRoots_;
};

}  // namespace korvane::posix
