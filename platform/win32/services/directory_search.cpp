// Directory searches with the cheapest listing the system offers: the basic information level and large
// fetches from Windows 7 on, the standard level before.
#include "platform/win32/services/directory_search.h"

#include <windows.h>

#include <atomic>

namespace korvane::win32 {
namespace {

// Cleared at the first search that the system refuses with the basic level and accepts with the
// standard one: systems before Windows 7 know neither the level nor the large-fetch flag.
std::atomic<bool> basicLevelKnown{true};

HANDLE Open(const std::wstring& pattern, WIN32_FIND_DATAW& data) {
  if (basicLevelKnown.load(std::memory_order_relaxed)) {
    const HANDLE handle = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                           FIND_FIRST_EX_LARGE_FETCH);
    if (handle != INVALID_HANDLE_VALUE || GetLastError() != ERROR_INVALID_PARAMETER) return handle;
  }
  const HANDLE handle = FindFirstFileExW(pattern.c_str(), FindExInfoStandard, &data, FindExSearchNameMatch, nullptr, 0);
  if (handle != INVALID_HANDLE_VALUE) basicLevelKnown.store(false, std::memory_order_relaxed);
  return handle;
}

}  // namespace

struct DirectorySearch::State {
  HANDLE handle = INVALID_HANDLE_VALUE;
  bool pending = false;  // the entry found by the opening call has not been given yet
  WIN32_FIND_DATAW data{};
};

DirectorySearch::DirectorySearch(const std::wstring& pattern) : state_(std::make_unique<State>()) {
  if (pattern.size() > kLongestPattern) return;
  state_->handle = Open(pattern, state_->data);
  state_->pending = state_->handle != INVALID_HANDLE_VALUE;
}

DirectorySearch::~DirectorySearch() {
  if (state_->handle != INVALID_HANDLE_VALUE) FindClose(state_->handle);
}

bool DirectorySearch::opened() const { return state_->handle != INVALID_HANDLE_VALUE; }

bool DirectorySearch::Next(FoundEntry& entry) {
  if (state_->handle == INVALID_HANDLE_VALUE) return false;
  if (!state_->pending && !FindNextFileW(state_->handle, &state_->data)) return false;
  state_->pending = false;
  const WIN32_FIND_DATAW& data = state_->data;
  entry.name = data.cFileName;
  entry.directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  entry.size = static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
  return true;
}

}  // namespace korvane::win32
