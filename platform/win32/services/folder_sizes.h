// Directory sizes on Windows: each subtree is listed once, in parallel, and during a scan every directory
// below is remembered with its total and its subdirectory names, so later size queries and listings of
// the same directories cost a lookup instead of another walk.
//
// What is remembered is directories only: a node of 32 bytes and the GB18030 name. Files are summed and
// forgotten. Directory links (junctions, symbolic links) are entered like any directory; a link back to
// an ancestor is followed until the search pattern grows past the system's path limit, which bounds it.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::win32 {

class FolderSizes {
 public:
  // threads: the walkers of one measurement, the calling thread included; 0 means one per hardware thread.
  explicit FolderSizes(unsigned threads = 0);
  ~FolderSizes();
  FolderSizes(const FolderSizes&) = delete;
  FolderSizes& operator=(const FolderSizes&) = delete;

  void BeginScan();
  void EndScan();

  // The total size of the files below the directory key (core form, without a final "\"); 0 when it
  // cannot be listed. During a scan it and everything below it is remembered under its key.
  int64_t Measure(const std::string& key);

  // During a scan, the subdirectory names of a remembered directory that match the search pattern, in
  // the order of its listing: "." and ".." as the listing gave them, nothing when it could not be listed.
  // Nothing when it is not remembered.
  std::optional<std::vector<std::string>> RememberedDirectories(std::string_view key, std::string_view pattern);

 private:
  struct Memory;

  unsigned threads_;
  std::mutex mutex_;  // one measurement or lookup at a time
  std::unique_ptr<Memory> scan_;  // set between BeginScan and EndScan
};

}  // namespace korvane::win32
