// Parallel directory walks over FindFirstFileExW, and the memory of the directories a scan has measured.
#include "platform/win32/services/folder_sizes.h"

#include <algorithm>
#include <deque>
#include <functional>
#include <thread>
#include <utility>

#include "platform/file_system.h"
#include "platform/measured_tree.h"
#include "platform/parallel_walk.h"
#include "platform/win32/services/directory_search.h"
#include "platform/win32/services/wide_text.h"
#include "snapshot/gbk_text.h"

namespace korvane::win32 {
namespace {

using Node = MeasuredNode;
constexpr uint32_t kNone = kNoNode;

enum NodeFlags : uint8_t {
  kOpened = 1,  // the walk could list it
  kDot = 2,     // its listing gave "."
  kDotDot = 4,  // its listing gave ".."
};

}  // namespace

struct FolderSizes::Memory : MeasuredTree {};

namespace {

// One parallel walk over a memory's nodes: each visit sums a directory's files and adds its
// subdirectories as new nodes. Every path is walked in full, links included, so the totals do not depend
// on which worker reaches a directory first.
class Walk {
 public:
  struct Task {
    Node* node;
    uint32_t index;
    std::wstring path;  // without a final "\"
  };

  Walk(std::deque<Node>& nodes, std::string& names, unsigned threads)
      : nodes_(nodes), names_(names), scheduler_(threads) {}

  void Run(Task first) {
    scheduler_.Run(std::move(first), [this](const Task& task) { Visit(task); });
  }

 private:
  void Visit(const Task& task) {
    DirectorySearch search(task.path + L"\\*.*");
    if (!search.opened()) return;
    int64_t bytes = 0;
    uint8_t flags = kOpened;
    std::vector<std::wstring> subdirectories;
    FoundEntry entry;
    while (search.Next(entry)) {
      if (!entry.directory) {
        bytes += entry.size;
      } else if (entry.name == L".") {
        flags |= kDot;
      } else if (entry.name == L"..") {
        flags |= kDotDot;
      } else {
        subdirectories.emplace_back(entry.name);
      }
    }
    task.node->total = bytes;
    task.node->flags = flags;
    if (subdirectories.empty()) return;

    std::vector<std::string> coreNames;
    std::vector<std::wstring> paths;
    for (const std::wstring& name : subdirectories) {
      coreNames.push_back(FromWide(name));
      paths.push_back(task.path + L"\\" + name);
    }
    scheduler_.Publish([&](const auto& push) {
      const auto first = static_cast<uint32_t>(nodes_.size());
      task.node->firstChild = first;
      task.node->childCount = static_cast<uint32_t>(subdirectories.size());
      for (size_t i = 0; i < subdirectories.size(); ++i) {
        Node& child = nodes_.emplace_back();
        child.parent = task.index;
        child.nameOffset = static_cast<uint32_t>(names_.size());
        child.nameLength = static_cast<uint16_t>(coreNames[i].size());
        names_ += coreNames[i];
        push(Task{&child, first + static_cast<uint32_t>(i), std::move(paths[i])});
      }
    });
  }

  std::deque<Node>& nodes_;  // with names_, guarded by the scheduler's lock
  std::string& names_;
  ParallelWalk<Task> scheduler_;
};

}  // namespace

FolderSizes::FolderSizes(unsigned threads)
    : threads_(threads ? threads : std::max(1u, std::thread::hardware_concurrency())) {}

FolderSizes::~FolderSizes() = default;

void FolderSizes::BeginScan() {
  std::lock_guard lock(mutex_);
  scan_ = std::make_unique<Memory>();
}

void FolderSizes::EndScan() {
  std::lock_guard lock(mutex_);
  scan_.reset();
}

int64_t FolderSizes::Measure(const std::string& key) {
  std::lock_guard lock(mutex_);
  if (scan_) {
    if (const uint32_t known = scan_->Lookup(key); known != kNone) return scan_->nodes[known].total;
  }
  const std::wstring path = ToWide(key);
  if (path.empty()) return 0;  // not the current drive's root, which a search of "\*.*" would give
  Memory once;  // outside a scan the walk's nodes are dropped after this one measurement
  const bool remember = scan_ && key.size() <= UINT16_MAX;
  Memory& memory = remember ? *scan_ : once;

  const uint32_t root = memory.AddRoot(key);
  Walk(memory.nodes, memory.names, threads_).Run({&memory.nodes[root], root, path});
  memory.AddUpTotals(root);
  if (remember) {
    for (auto index = root; index < memory.nodes.size(); ++index) memory.Index(index);
  }
  return memory.nodes[root].total;
}

std::optional<std::vector<std::string>> FolderSizes::RememberedDirectories(std::string_view key, std::string_view pattern) {
  std::lock_guard lock(mutex_);
  if (!scan_) return std::nullopt;
  const uint32_t found = scan_->Lookup(key);
  if (found == kNone) return std::nullopt;
  const Node& node = scan_->nodes[found];
  std::vector<std::string> names;
  if (node.flags & kDot && MatchesSearchPattern(pattern, ".")) names.emplace_back(".");
  if (node.flags & kDotDot && MatchesSearchPattern(pattern, "..")) names.emplace_back("..");
  for (uint32_t child = node.firstChild; child < node.firstChild + node.childCount; ++child) {
    const std::string_view name = scan_->Name(scan_->nodes[child]);
    if (MatchesSearchPattern(pattern, name)) names.emplace_back(name);
  }
  return names;
}

}  // namespace korvane::win32
