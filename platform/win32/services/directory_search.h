// One open FindFirstFileExW search: the entries of a directory that match a pattern, with their directory
// attribute and 64-bit size, in the order the file system gives them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace korvane::win32 {

// The longest search pattern that the system's 8-bit directory functions accept, without its terminating
// zero (MAX_PATH minus one). Longer patterns are not searched at all: this bounds every walk, also one
// through a directory link that leads back to its own ancestor.
constexpr size_t kLongestPattern = 259;

struct FoundEntry {
  std::wstring_view name;  // valid until the next call of Next
  bool directory = false;  // the directory attribute: junctions and directory links included
  int64_t size = 0;
};

class DirectorySearch {
 public:
  // Opens the search; a pattern longer than kLongestPattern or one the system refuses finds nothing.
  explicit DirectorySearch(const std::wstring& pattern);
  ~DirectorySearch();
  DirectorySearch(const DirectorySearch&) = delete;
  DirectorySearch& operator=(const DirectorySearch&) = delete;

  bool opened() const;
  // The next entry, "." and ".." included as the system gives them; false at the end.
  bool Next(FoundEntry& entry);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace korvane::win32
